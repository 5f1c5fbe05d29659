#pragma once
// The error browser: the findings of a map's "Chyby.DBF", filtered by element
// group and error type, block, status and a text search, deleted or excepted one or
// many at a time (the rows selected), and shown in the running GIS or the map view.
#include "standard/ErrorRecord.h"
#include "dbase/TableDBF.h"
#include "ui/ErrorFilter.h"
#include "review/RunHistory.h"
#include "ui/forms/QtPlatform.h"

#include <QDialog>
#include <QList>
#include <QVariant>
#include <functional>
#include <optional>
#include <string>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTableView;
class QToolButton;

namespace vexa {

class TErrorTableModel;
class TMapViewForm;

class TChybyForm : public QDialog {
    Q_OBJECT
public:
    // mainWindow is hidden while this window is shown; mapDir gives the main window's
    // map directory (block paths of show requests are built on it).
    TChybyForm(TFormsEnv& env, QWidget* mainWindow, std::function<std::string()> mapDir,
               QWidget* parent = nullptr);  // FormCreate
    ~TChybyForm() override;

    // The directory of the table ("Chyby.DBF" in it); set before each display.
    void SetTableDirectory(const std::string& dir);
    // Opens the table of that directory and shows the window modally. An error while
    // opening the table is reported and the window is not shown; false then.
    bool ShowModalFor(const std::string& dir);

    // "Skontrolovať znova": checks one block of the map again as the last run did and
    // replaces its rows of the table (the main window gives it).
    void SetRecheck(std::function<void(const std::string& block)> recheck) { FRecheck = std::move(recheck); }

    TTableDBF& ChybyTable() { return FTable; }
    TErrorTableModel& Model() { return *FModel; }
    double Scale() const { return FScale.Scale(); }
    bool Zoom() const { return FScale.Zoom(); }
    QColor MarkingColour() const { return FColour; }
    // The map view window; created when first opened, nullptr before.
    TMapViewForm* MapView() const { return FMapView; }
    // Visible row that is current in the grid (-1 when none).
    int CurrentRow() const;
    void SetCurrentRow(int row);
    // The rows selected in the grid (Shift, Ctrl, Ctrl+A), in their order; the current row
    // alone when none is selected.
    std::vector<int> SelectedRows() const;
    // The group, type and block filter as a table filter expression ("" for none; the
    // search is not in it).
    std::string FilterExpression() const;

    QLabel* Label2;
    QComboBox* ComboBox1;
    QLabel* Label3;
    QComboBox* ComboBox2;
    QLabel* Label4;
    QLabel* Label5;        // "Stav"
    QComboBox* ComboBox3;  // status filter: všetky, nové, trvajúce, výnimky
    QLabel* Label6;        // "Blok"
    QComboBox* ComboBox4;  // block filter: všetky, then the table's blocks in the map's order
    QLabel* Label7;        // "Hľadať"
    QLineEdit* HladatEdit; // text search: the rows whose text, block or element number hold each word
    QLabel* StavLabel;     // what the history says of the table (an older table after a clean run)
    QLabel* DetailLabel;   // status line: what the current table finding found wrong (its table, fields, query)
    QTableView* DBGrid;
    QWidget* DBNavigator1;
    QToolButton* NavFirst;
    QToolButton* NavPrior;
    QToolButton* NavNext;
    QToolButton* NavLast;
    QToolButton* BitBtn1;
    QToolButton* BitBtn2;
    QToolButton* BitBtn3;
    QToolButton* BitBtn4;
    QToolButton* BitBtn5;
    QToolButton* LupaSButt;
    QToolButton* ExportBitBtn;  // the findings shown, with their places, to a GIS file
    QToolButton* SpravaBitBtn;  // "Správa": the report of the findings shown, opened in the browser
    QToolButton* MapaBitBtn;    // the map view of the current finding
    QToolButton* VynimkaBitBtn; // "nie je chyba" (Ctrl+N): an exception with a reason; removes one in "výnimky"
    QToolButton* ZnovaBitBtn;   // "Skontrolovať znova" the current finding's block
    QFrame* Shape1;
    QLabel* Label1;
    QPushButton* KoniecBitBtn;

public slots:
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void Shape1MouseDown();
    void ComboBox1Change();
    void ComboBox2Change();
    void DataSourceDataChange();
    void LupaSButtClick();
    void ExportBitBtnClick();
    void SpravaBitBtnClick();
    void MapaBitBtnClick();
    void ComboBox3Change();
    void ComboBox4Change();
    void HladatEditChange();  // the search applied now (typing applies it after a pause)
    void VynimkaBitBtnClick();
    void ZnovaBitBtnClick();

protected:
    void showEvent(QShowEvent* e) override;  // FormShow
    void hideEvent(QHideEvent* e) override;  // FormHide
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The records of the rows shown (under the filter), in their order.
    std::vector<TErrorRecord> ShownRecords() const;
    void OpenChybyTable();
    // Reads the statuses and exceptions of the table's map again and says what the history
    // tells of the table.
    void LoadReview();
    // Reads the exceptions of the table's map again with their states.
    void LoadExceptionRows(std::vector<std::string>& problems);
    std::string TableMapDir() const;
    // The history's record of a table finding's row (its table and detail): the row's place
    // among the table's rows like it picks one of the newest run's findings like it.
    std::optional<review::TRunFinding> HistoryFindingOf(int row);
    void ShowCurrentError(bool forceZoom = false);
    // Shows the current finding in the map view (created when asked); false when the
    // finding cannot be shown there.
    bool ShowInMapView(bool forceZoom, bool create);
    // The group, type, block and search boxes' filter applied to the rows.
    void ApplyFilter();
    void EnableRecordControls();
    void LayOutColumns();
    void FillBlocks();  // the block filter's items: the blocks of the table's rows
    // The filter boxes back to "všetky" and the search emptied (nothing filtered again).
    void ResetFilterBoxes();
    // After rows left the table: the current row where it was (or the last) and the controls.
    void RowsGone(int row);
    // Exceptions of the rows selected: one reason for all, one rewrite of the exceptions.
    void ExceptRows(const std::vector<int>& rows);
    // The exceptions of the rows selected in "výnimky" removed after one question.
    void RemoveExceptionRows(const std::vector<int>& rows);
    void SaveLayout();
    template <class F>
    void Guarded(F action);

    TFormsEnv& FEnv;
    QWidget* FMainWindow;
    std::function<std::string()> FMapDir;
    TTableDBF FTable;
    TErrorTableModel* FModel;
    TShowScale FScale;
    QColor FColour = Qt::red;
    TMapViewForm* FMapView = nullptr;
    std::function<void(const std::string&)> FRecheck;
    QList<QVariant> FColumnWidths;  // as the user left them (also kept in the settings file)
    QTimer* FSearchTimer;           // the search follows the typing after a pause
    bool FFresh = false;            // the table was just opened and read (not read again at the display)
};

// "Správa": asks where to write the report of these records (the rows of the map's error
// table, or of its last run), writes it with its pictures and opens it in the browser.
void WriteAndOpenReport(TFormsEnv& env, const std::string& mapDir, const std::vector<TErrorRecord>& records);
// The answer to the report's question of findings per block: "20 chýb z každého bloku" or a
// number, "všetky ..." (every one), "len súhrn ..." (0); nothing for other text.
std::optional<int> ReportFindingsChoice(const std::string& answer);

}  // namespace vexa

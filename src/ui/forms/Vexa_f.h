#pragma once
// The main window: the block grid of the opened map, the check options in five
// group boxes, the check run, block rename and delete, the error browser, the
// sibling programs and the information box. It owns the standard object.
#include "ui/BlockGrid.h"
#include "run/CheckRun.h"
#include "ui/forms/QtPlatform.h"
#include "ui/forms/StringGrid.h"
#include "review/RunReview.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace vexa {

class TBlkStandardGXD;
class TChybyForm;
class TPremForm;

// A group box whose gauge sits in its caption line, right of the caption.
class TOptionGroupBox : public QGroupBox {
    Q_OBJECT
public:
    TOptionGroupBox(const QString& caption, QWidget* parent);
    void SetGauge(QProgressBar* gauge);

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void PlaceGauge();
    QProgressBar* FGauge = nullptr;
};

// A limit edit: takes only digits, Backspace and one ".", and reports being left.
class TLimitEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
signals:
    void Exited();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
};

class TVexaForm : public QMainWindow, private ICheckRunView {
    Q_OBJECT
public:
    explicit TVexaForm(TFormsEnv& env, QWidget* parent = nullptr);  // FormCreate
    ~TVexaForm() override;                                          // FormDestroy

    // The two other windows, created after this one.
    void SetForms(TChybyForm* chyby, TPremForm* prem);

    // Opens a map directory as "Mapa" > "Otvoriť" does once a directory was chosen.
    void OpenMap(const std::string& dir);
    // Opens the map kept from the last start, if it is still there.
    void OpenLastMap();
    // Opens another standard; one that cannot be opened is refused with its reason and the
    // previous one stays (false then). An opened map is listed again under the new one.
    bool OpenStandard(const std::string& path);
    const std::string& StandardPath() const { return FStandardPath; }
    // Writes the window's state to the settings file (also done when the window closes).
    void SaveSettings();

    const std::string& MapaDir() const { return FMapaDir; }
    TBlkStandardGXD* Standard() const { return FStandard.get(); }
    TBlockGrid& Grid() { return FGrid; }
    bool Running() const { return FRunning; }

    // The mask of a group box: the sum of the tags of its ticked check boxes.
    static std::uint16_t GroupBoxMask(const QGroupBox* groupBox);

    // Controls, named by role.
    QLabel* MLabel;
    QLabel* LabelMapa;
    TStringGrid* BlkStringGrid;
    QLabel* LabelKontr;
    QPushButton* PremenovatButton;
    QPushButton* ZmazatButton;
    TOptionGroupBox* LinGroupBox;
    TOptionGroupBox* BodGroupBox;
    TOptionGroupBox* TxbGroupBox;
    TOptionGroupBox* PloGroupBox;
    TOptionGroupBox* DBGroupBox;
    QProgressBar* LinGauge;
    QProgressBar* BodGauge;
    QProgressBar* TxbGauge;
    QProgressBar* PloGauge;
    QCheckBox* LinCBDlzka;
    QCheckBox* PloCBPlocha;
    TLimitEdit* LinEditDlzka;
    TLimitEdit* PloEditPlocha;
    QCheckBox* CBVsetky;
    QToolButton* SBInfo;
    QPushButton* KontrolaButton;
    QLabel* LabelBlok;                // "blok n z m" and the block's name while a run goes
    QPushButton* ZastavitButton;      // asks the run to stop after the current block
    QPushButton* SpravaButton;        // "Správa": the report of the map's last run, opened in the browser
    QLabel* LabelStd;
    QPushButton* KoniecBitBtn;
    QMenu* MenuMapa;
    QAction* MenuMapaOtvorit;
    QAction* MenuMapaZavriet;
    QMenu* MenuChyby;
    QAction* MenuChybyOtvorit;
    QMenu* MenuStandard;
    QAction* MenuStandardOtvorit;
    QMenu* MenuNastroje;
    QMenu* MenuVyhladavanie;
    QAction* MenuPodlaCisla;
    QAction* MenuPodlaDruhu;
    QAction* MenuPrezeracPlo;

public slots:
    void MenuMapaOtvoritClick();
    void MenuMapaZavrietClick();
    void MenuChybyOtvoritClick();
    void MenuStandardOtvoritClick();
    void MenuPodlaCislaClick();
    void MenuPodlaDruhuClick();
    void MenuPrezeracPloClick();
    void SBInfoClick();
    void BlkStringGridMouseUp(int x, int y);
    void BlkStringGridDblClick(int x, int y);
    void PremenovatButtonClick();
    void ZmazatButtonClick();
    void LinCBDlzkaClick();
    void PloCBPlochaClick();
    void LinEditDlzkaExit(TLimitEdit* edit);
    void CBVsetkyClick();
    void KontrolaButtonClick();
    void SpravaButtonClick();
    void KoniecBitBtnClick();
    void ZastavitButtonClick();
    // Space, Enter and Delete on the block list.
    void BlkStringGridKey(int key);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildControls();
    void BuildMenus();
    void BuildBlockArea(QWidget* central, const QFont& bold);
    void BuildOptionGroups(QWidget* central);
    void BuildRunControls(QWidget* central, const QFont& bold);
    void LayOutControls(QWidget* central);
    void ConnectEvents();
    void FormCreate();
    void BlkStringGridDrawCell(QPainter& p, int col, int row, const QRect& rect, TStringGrid::TDrawState state);
    void SetMapControls(bool enabled);
    void LoadSettings();
    void SetRunLock(bool locked);
    void RunSiblingTool(const char* name);
    template <class F>
    void Guarded(F action);

    // The check run's view.
    int BlockRowCount() override;
    TBlockRow BlockRow(int index) override;
    std::string MapDir() override;
    TCheckRunOptions Options() override;
    void SetCaption(const std::string& text) override;
    IGauge* Gauge(TCheckGroup group) override;
    void ShowGauge(TCheckGroup group, bool visible) override;
    void Warning(const std::string& message) override;
    void NotCleaned(const std::string& blockPath, const std::string& name) override;
    // The end box names the blocks left out and the tables repaired; no box of their own.
    void Note(const std::string&) override {}
    void Information(const std::string& message) override;
    void ShowErrorBrowser(const std::string& mapDir) override;
    void ShowBlockProgress(int index, int count, const std::string& name) override;
    bool StopRequested() override;
    // Runs the check with a fresh review (merge: only the checked blocks' rows replaced).
    void RunWithReview(bool merge);
    // "Skontrolovať znova" of the browser: the block alone, as the last run checked it.
    void RecheckBlock(const std::string& block);

    TFormsEnv& FEnv;
    TChybyForm* FChybyForm = nullptr;
    TPremForm* FPremForm = nullptr;

    int FColNazov = 0;
    int FColKontrola = 1;
    int FColVrstva = 2;
    std::string FMapaDir;
    std::unique_ptr<TBlkStandardGXD> FStandard;
    std::string FStandardPath;
    std::string FLastMap;  // kept from the last start

    TBlockGrid FGrid;
    std::unique_ptr<TQtGauge> FLinGauge, FBodGauge, FTxbGauge, FPloGauge;
    bool FRunning = false;
    bool FStopRequested = false;
    bool FUncleanQuiet = false;  // "OK pre všetky" was pressed in this run
    std::optional<std::string> FOnlyBlock;  // a re-check of one block from the browser
    std::optional<TCheckRunOptions> FRecheckOptions;  // its options: those of the run of the table shown
    struct TLockedState {
        bool Otvorit, Zavriet, Chyby, Kontrola, Premenovat, Zmazat, Koniec;
    } FLocked{};
};

}  // namespace vexa

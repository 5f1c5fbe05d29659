// The three windows driven for real on the offscreen platform: a map is opened,
// rows toggled, options ticked, a check run started, findings filtered and
// deleted, blocks renamed and deleted. Message boxes and dialogs are scripted.
#include "kit/BlockKit.h"
#include "report/HtmlReport.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "standard/FindingKinds.h"
#include "standard/FindingPlace.h"
#include "ui/DirTree.h"
#include "review/Exceptions.h"
#include "ui/forms/Chyby_f.h"
#include "ui/forms/ErrorTableModel.h"
#include "ui/forms/Premen_f.h"
#include "ui/forms/QtPlatform.h"
#include "ui/forms/MapView_f.h"
#include "ui/forms/Vexa_f.h"

#include "common/FileNames.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QAbstractButton>
#include <QFileSystemModel>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QMainWindow>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>
#include <QShortcut>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <functional>
#include <set>

using namespace vexa;
namespace fs = std::filesystem;
using testkit::TempDir;
using Row = TBlockGrid::TRow;

namespace {

struct ScriptedMessages : IMessageBoxes {
    std::vector<std::pair<TMsgType, std::string>> Shown;
    int NoAnswers = 0;  // questions answered "No" before the rest are answered "Yes"
    bool OkForAll = false;  // the answer of boxes that offer "OK pre všetky"
    std::function<void()> OnShow;
    TMsgResult Show(TMsgType type, const std::string& text) override {
        Shown.emplace_back(type, text);
        if (OnShow) OnShow();
        if (type == TMsgType::WarningForAll) return OkForAll ? TMsgResult::OkForAll : TMsgResult::Ok;
        if (type != TMsgType::Question) return TMsgResult::Ok;
        return NoAnswers > 0 ? (--NoAnswers, TMsgResult::No) : TMsgResult::Yes;
    }
    std::vector<std::string> Texts(TMsgType type) const {
        std::vector<std::string> r;
        for (const auto& [t, s] : Shown)
            if (t == type) r.push_back(s);
        return r;
    }
};

struct ScriptedDialogs : IDialogs {
    std::optional<std::string> Directory, File;
    std::optional<QColor> Colour;
    std::string LastStartDir;
    std::optional<std::string> ChooseDirectory(const std::string& startDir) override {
        LastStartDir = startDir;
        return Directory;
    }
    std::string LastOpenName, LastOpenFilter;
    std::optional<std::string> OpenFile(const std::string& fileName, const std::string& filter,
                                        const std::string&) override {
        LastOpenName = fileName;
        LastOpenFilter = filter;
        return File;
    }
    std::optional<QColor> ChooseColour(const QColor&) override { return Colour; }
    std::optional<std::string> Answer;  // AskText's
    std::string LastQuestion;
    int Asked = 0;  // AskText's questions
    std::optional<std::string> AskText(const std::string&, const std::string& question) override {
        LastQuestion = question;
        ++Asked;
        return Answer;
    }
    std::optional<std::string> SaveAs;
    std::string LastSaveName;
    std::optional<std::string> SaveFile(const std::string& fileName, const std::string&, const std::string&) override {
        LastSaveName = fileName;
        return SaveAs;
    }
    std::optional<std::optional<std::string>> Choice;  // AskChoice's answer; unset: the offered item
    std::vector<std::string> LastItems;
    std::optional<std::string> AskChoice(const std::string&, const std::string&, const std::vector<std::string>& items,
                                         int current) override {
        LastItems = items;
        return Choice ? *Choice : std::optional<std::string>(items.at(std::size_t(current)));
    }
    std::vector<std::string> Opened;  // files opened in the browser
    bool OpenInBrowser(const std::string& path) override {
        Opened.push_back(path);
        return true;
    }
};

// The message loop pass that the check passes run once per element, watched.
struct WatchedApp : TQtAppWindows {
    using TQtAppWindows::TQtAppWindows;
    std::function<void()> OnProcess;
    void ProcessMessages() override {
        if (OnProcess) OnProcess();
        TQtAppWindows::ProcessMessages();
    }
};

void MakeBlockDir(const fs::path& dir) {
    fs::create_directories(dir);
    std::ofstream(dir / "info.txt") << "blok\n";
}

// A block with one point per (number, kind), in that order.
void MakePointBlock(const fs::path& dir, std::vector<std::pair<int, int>> numberKind) {
    testkit::BlockSpec content;
    for (auto [number, kind] : numberKind)
        content.Points.push_back(testkit::MakePoint(number, static_cast<std::int16_t>(kind), 100 + number, 200));
    testkit::WriteBlock(dir, content);
}

// The system's DDE client, with or without a GIS link as a test chooses (the link is there
// by default: a GIS that is not running is then asked for).
struct SwitchableDde : IDdeClient {
    bool Link = true;
    std::unique_ptr<IDdeClient> Native = CreateNativeDdeClient();
    std::unique_ptr<IDdeConversation> CreateConversation() override { return Native->CreateConversation(); }
    bool Available() const override { return Link; }
};

// Writes the map's "Chyby.DBF" with these findings; returns its path.
std::string WriteErrorTable(const fs::path& map, const std::vector<TErrorRecord>& findings) {
    const std::string table = (map / "Chyby.DBF").string();
    TErrorTable::CreateTemplate(table);
    TErrorTable t(table);
    TErrorTableSession session(t);
    for (const TErrorRecord& r : findings) t.Append(r);
    return table;
}

// One program: its directory (standard and template), the three windows in creation order, a map.
struct Program {
    // settings: the window's kept state; by default a file of this program's own directory,
    // never the user's.
    explicit Program(bool withStandard = true, const std::vector<std::string>& tools = {},
                     const std::string& settings = {}, const std::string& standardFile = {}) {
        const std::string bin = IncludeTrailingDelimiter(VEXA_BIN_DIR);
        if (withStandard) fs::copy_file(bin + "StandardGXD.mdb", Dir.Path() / "StandardGXD.mdb");
        fs::copy_file(bin + "Chyby.dbf", Dir.Path() / "Chyby.dbf");
        for (const auto& tool : tools) {
            std::ofstream(Dir.Path() / tool) << "#!/bin/sh\ntouch \"$0.ran\"\n";
            fs::permissions(Dir.Path() / tool, fs::perms::owner_all);
        }
        Env = {IncludeTrailingDelimiter(Dir.Path().string()), &Messages, &Dialogs, &App, Dde.get(), System.get(),
               settings.empty() ? (Dir.Path() / "vexa.ini").string() : settings, standardFile};
        Vexa = std::make_unique<TVexaForm>(Env);
        App.AddWindow(Vexa.get());
        Chyby = std::make_unique<TChybyForm>(
            Env, Vexa.get(), [this] { return Vexa->MapaDir(); }, Vexa.get());
        App.AddWindow(Chyby.get());
        Prem = std::make_unique<TPremForm>(Vexa.get());
        App.AddWindow(Prem.get());
        Vexa->SetForms(Chyby.get(), Prem.get());
        Vexa->show();
        Vexa->activateWindow();
    }
    ~Program() {
        Prem.reset();
        Chyby.reset();
        Vexa.reset();
    }
    void Open(const fs::path& map) {
        Dialogs.Directory = map.string();
        Vexa->MenuMapaOtvorit->trigger();
    }
    // Opens Map with a block directory of each name.
    void OpenBlocks(std::initializer_list<const char*> names) {
        for (const char* name : names) MakeBlockDir(Map.Path() / name);
        Open(Map.Path());
    }
    std::vector<Row> Rows() {
        std::vector<Row> rows;
        for (int r = 1; r < Vexa->Grid().RowCount(); ++r) rows.push_back(Vexa->Grid().Row(r));
        return rows;
    }
    QPoint CellCentre(int col, int row) { return Vexa->BlkStringGrid->CellRect(col, row).center(); }
    QColor PixelAt(QPoint p) { return Vexa->BlkStringGrid->viewport()->grab().toImage().pixelColor(p); }
    QCheckBox* Box(const char* name) { return Vexa->findChild<QCheckBox*>(name); }

    TempDir Dir, Map;
    ScriptedMessages Messages;
    ScriptedDialogs Dialogs;
    WatchedApp App{Messages};
    std::unique_ptr<SwitchableDde> Dde = std::make_unique<SwitchableDde>();
    std::unique_ptr<ISystemWindows> System = CreateNativeSystemWindows();
    TFormsEnv Env;
    std::unique_ptr<TVexaForm> Vexa;
    std::unique_ptr<TChybyForm> Chyby;
    std::unique_ptr<TPremForm> Prem;
};

// "1" or "0" for a bool property ("enabled", "visible") of each widget or action.
QString Flags(const char* property, std::initializer_list<QObject*> objects) {
    QString r;
    for (QObject* o : objects) r += o->property(property).toBool() ? '1' : '0';
    return r;
}

// Runs action once the next modal window is up (the call that opens it comes after).
// Polls, so that work running the message loop before the window opens goes on.
void WhenModal(std::function<void()> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, action, started] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && started->elapsed() < 20000) return;
        timer->stop();
        timer->deleteLater();
        if (!modal) {
            QFAIL("no modal window appeared");
            return;
        }
        action();
        // A failed check leaves the window open: close it so that the test can end.
        if (QApplication::activeModalWidget() == modal)
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
    timer->start();
}


// The Alt letters of a window: its buttons, group boxes, labels with a buddy and the menu bar's
// menus, then those of each menu among its own items. Each letter taken twice is named.
QStringList MnemonicClashes(QWidget* window) {
    QStringList clashes;
    auto check = [&](const QString& where, const std::vector<QString>& texts) {
        std::map<QString, QString> seen;
        for (const QString& text : texts) {
            const QKeySequence key = QKeySequence::mnemonic(text);
            if (key.isEmpty()) continue;
            const QString letter = key.toString().toLower();
            if (seen.count(letter))
                clashes << where + ": " + letter + " (" + seen[letter] + ", " + text + ")";
            else
                seen[letter] = text;
        }
    };
    std::vector<QString> top;
    // The window's own widgets (the dialogs it parents are windows of their own).
    for (auto* b : window->findChildren<QAbstractButton*>())
        if (b->window() == window) top.push_back(b->text());
    for (auto* g : window->findChildren<QGroupBox*>())
        if (g->window() == window) top.push_back(g->title());
    for (auto* l : window->findChildren<QLabel*>())
        if (l->buddy() && l->window() == window) top.push_back(l->text());
    if (auto* mw = qobject_cast<QMainWindow*>(window))
        for (QAction* a : mw->menuBar()->actions()) top.push_back(a->text());
    check(window->objectName(), top);
    for (auto* menu : window->findChildren<QMenu*>()) {
        std::vector<QString> items;
        for (QAction* a : menu->actions()) items.push_back(a->text());
        check(menu->title(), items);
    }
    return clashes;
}

const QColor kGreen(181, 232, 191), kRed(247, 201, 198);

}  // namespace

class TFormsTest : public QObject {
    Q_OBJECT
private slots:
    void StartUpBuildsTheWindowsAndTheStandard() {
        Program p;
        TVexaForm& v = *p.Vexa;
        QCOMPARE(v.windowTitle(), QString::fromUtf8("Kontrola súľadu BLK GXD so štandardom WQS"));
        QCOMPARE(v.size(), QSize(642, 513));
        QVERIFY(v.Standard() != nullptr);
        QVERIFY(!v.LabelStd->text().isEmpty());
        QCOMPARE(v.LabelStd->text().toStdString(), v.Standard()->Description());
        QVERIFY(p.Messages.Shown.empty());
        QCOMPARE(v.LabelMapa->text() + v.LabelKontr->text(), QString());
        QCOMPARE(v.MLabel->text(), QString("Mapa:"));
        QCOMPARE(Flags("enabled", {v.MenuMapaOtvorit, v.KontrolaButton, v.PremenovatButton, v.ZmazatButton,
                                   v.MenuMapaZavriet, v.LinEditDlzka}),
                 QString("100000"));
        QCOMPARE(Flags("visible", {v.LinGauge, v.BodGauge, v.TxbGauge, v.PloGauge}), QString("0000"));
        QCOMPARE(v.Grid().RowCount(), 2);
        QCOMPARE(v.LinEditDlzka->text(), QString("0"));
        QCOMPARE(v.PloEditPlocha->text(), QString("0"));
        QCOMPARE(v.LinGroupBox->title(), QString::fromUtf8(" Línie "));
        QCOMPARE(v.DBGroupBox->title(), QString::fromUtf8(" Interná DB "));
        // Seventeen option boxes, none ticked, tags as the screen rows.
        int boxes = 0;
        for (QGroupBox* g : {v.LinGroupBox, v.BodGroupBox, v.TxbGroupBox, v.PloGroupBox, v.DBGroupBox})
            for (QCheckBox* cb : g->findChildren<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly)) {
                ++boxes;
                QVERIFY(!cb->isChecked());
            }
        QCOMPARE(boxes, 17);
        for (auto [name, tag] : {std::pair{"LinCBPloZhoda", 32}, {"LinCBDlzka", 16}, {"DBCBNepZmaz", 8}})
            QCOMPARE(p.Box(name)->property("tag").toInt(), tag);
        QCOMPARE(p.Box("LinCBDlzka")->text(), QString::fromUtf8("dlžka <="));
        // The error browser and the rename dialog as created.
        QCOMPARE(p.Chyby->windowTitle(), QString("Chyby"));
        // At least its familiar size, wide enough for every button of its bottom line.
        QVERIFY(p.Chyby->width() >= 619 && p.Chyby->height() >= 243);
        QVERIFY(p.Chyby->width() >= p.Chyby->sizeHint().width());
        QVERIFY(p.Chyby->LupaSButt->isChecked());
        QCOMPARE(p.Chyby->Scale(), 1.0);
        QCOMPARE(p.Chyby->KoniecBitBtn->text(), QString("&Zatvor"));
        QCOMPARE(p.Prem->windowTitle(), QString::fromUtf8("Nové meno BLK"));
        QCOMPARE(p.Prem->height(), 144);  // a line more for the name OK will give
        QCOMPARE(p.App.AppWindows().size(), size_t(3));
    }

    void StartUpWithoutStandardReportsItAndAllowsNoMap() {
        Program p(false);
        QVERIFY(p.Vexa->Standard() == nullptr);
        QCOMPARE(p.Messages.Shown.size(), size_t(1));
        QCOMPARE(p.Messages.Shown[0].first, TMsgType::Error);
        QVERIFY(!p.Messages.Shown[0].second.empty());
        QVERIFY(p.Vexa->LabelStd->text().isEmpty());
        QCOMPARE(Flags("enabled", {p.Vexa->MenuMapaOtvorit, p.Vexa->MenuChybyOtvorit}), QString("01"));
        // Even a map given directly is refused with the standard's "not open" text.
        MakeBlockDir(p.Map.Path() / "LE_00001.blk");
        p.Vexa->OpenMap(p.Map.Path().string());
        QCOMPARE(p.Messages.Shown.back().second, std::string("Štandard nebol otvorený."));
        QVERIFY(!p.Vexa->KontrolaButton->isEnabled());
    }

    void ToolsMenuInfoBoxAndSiblingTool() {
        // "podľa čísla", "podľa druhu", the area viewer, their submenu and the tools menu, by the program files.
        for (auto [tool, shown] :
             {std::pair{"", "00000"}, {"Ostrel.exe", "00101"}, {"Velder.exe", "01011"}, {"Quarn.exe", "10011"}}) {
            Program p(true, *tool ? std::vector<std::string>{tool} : std::vector<std::string>{});
            TVexaForm& v = *p.Vexa;
            QCOMPARE(QString(tool) + Flags("visible", {v.MenuPodlaCisla, v.MenuPodlaDruhu, v.MenuPrezeracPlo,
                                                       v.MenuVyhladavanie->menuAction(), v.MenuNastroje->menuAction()}),
                     QString(tool) + shown);
        }
        Program p(true, {"Quarn.exe"});
        p.Vexa->SBInfo->click();
        QCOMPARE(p.Messages.Texts(TMsgType::Information),
                 std::vector<std::string>{"Kontrola súľadu BLK GXD so štandardom WQS\rverzia 1.1"});
        p.Vexa->MenuPodlaCisla->trigger();
        QTRY_VERIFY(fs::exists(p.Dir.Path() / "Quarn.exe.ran"));
        fs::remove(p.Dir.Path() / "Quarn.exe");
        p.Vexa->MenuPodlaCisla->trigger();  // gone: nothing happens, no message
        QCOMPARE(p.Messages.Shown.size(), size_t(1));
    }

    void OpeningAndClosingMaps() {
        Program p;
        TVexaForm& v = *p.Vexa;
        p.OpenBlocks({"le_00001.blk", "SL_Adm01.BLK", "SL_Axy01.blk", "x_1.blk", "abc.blk", "QQ_00001.blk", "other"});
        const std::string dir = p.Map.Path().string();
        QCOMPARE(p.Dialogs.LastStartDir, std::string());
        QCOMPARE(v.LabelMapa->text().toStdString(), dir);
        QCOMPARE(v.MapaDir(), dir + "/");
        const std::vector<Row> expected = {
            {"0", "", "abc.blk"},       {"1", "3", "LE_00001.blk"}, {"0", "", "QQ_00001.blk"},
            {"1", "3", "SL_ADM01.blk"}, {"1", "3", "SL_Axy01.blk"}, {"0", "", "x_1.blk"},
        };
        QCOMPARE(p.Rows(), expected);
        QVERIFY(fs::is_directory(p.Map.Path() / "LE_00001.blk"));  // the entry took the listed name
        QVERIFY(!fs::exists(p.Map.Path() / "le_00001.blk"));
        QCOMPARE(Flags("enabled", {v.KontrolaButton, v.PremenovatButton, v.ZmazatButton, v.MenuMapaZavriet}),
                 QString("1111"));
        // Colours of the name cells: non-conforming light red, selected light green.
        QCOMPARE(p.PixelAt(p.CellCentre(kColVrstva, 1) + QPoint(40, 0)), kRed);
        QCOMPARE(p.PixelAt(p.CellCentre(kColVrstva, 2) + QPoint(40, 0)), kGreen);
        // The chooser starts in the open map next time; cancelled, nothing changes.
        p.Dialogs.Directory.reset();
        v.MenuMapaOtvorit->trigger();
        QCOMPARE(p.Dialogs.LastStartDir, dir + "/");
        QCOMPARE(p.Rows().size(), size_t(6));
        // Closing the map keeps its name shown.
        v.MenuMapaZavriet->trigger();
        QCOMPARE(v.Grid().RowCount(), 2);
        QVERIFY(v.Grid().HasNoBlock());
        QVERIFY(v.MapaDir().empty());
        QCOMPARE(v.LabelMapa->text().toStdString(), dir);
        QCOMPARE(Flags("enabled", {v.KontrolaButton, v.MenuMapaZavriet}), QString("00"));
        // A map without blocks: one empty row in the window's colour, nothing to do.
        TempDir empty;
        MakeBlockDir(empty.Path() / "notablock");
        p.Open(empty.Path());
        QCOMPARE(v.Grid().RowCount(), 2);
        QVERIFY(v.Grid().HasNoBlock());
        QCOMPARE(Flags("enabled", {v.KontrolaButton, v.ZmazatButton, v.MenuMapaZavriet}), QString("000"));
        v.BlkStringGrid->clearFocus();
        QCOMPARE(p.PixelAt(p.CellCentre(kColVrstva, 1)), v.palette().color(QPalette::Base));
    }

    void ClickOnTheCheckBoxGlyphTogglesTheRow() {
        Program p;
        p.OpenBlocks({"LE_00001.blk", "abc.blk"});  // row 2 is LE_00001.blk ("1", "3")
        QWidget* vp = p.Vexa->BlkStringGrid->viewport();
        const QRect cell = p.Vexa->BlkStringGrid->CellRect(kColKontrola, 2);
        auto click = [&](QPoint at) { QTest::mouseClick(vp, Qt::LeftButton, {}, at); };
        auto selection = [&](int row) { return p.Vexa->Grid().Cell(kColKontrola, row); };
        auto nameColour = [&] { return p.PixelAt(p.CellCentre(kColVrstva, 2) + QPoint(60, 0)); };
        QCOMPARE(selection(2), std::string("3"));
        click(cell.center());
        QCOMPARE(selection(2), std::string("2"));
        QCOMPARE(nameColour(), kRed);
        QVERIFY(p.Vexa->Grid().RowsToCheck().empty());
        click(QPoint(cell.left() + 1, cell.center().y()));  // outside the image, inside the cell: nothing
        QCOMPARE(selection(2), std::string("2"));
        click(cell.center());
        QCOMPARE(selection(2), std::string("3"));
        QCOMPARE(nameColour(), kGreen);
        // The glyph of a selected row is drawn in the cell: the ticked box differs from the empty one.
        const QImage ticked = vp->grab(cell).toImage();
        click(cell.center());
        QVERIFY(vp->grab(cell).toImage() != ticked);
        // A non-conforming row has no selection to toggle.
        click(p.CellCentre(kColKontrola, 1));
        QCOMPARE(selection(1), std::string());
    }

    void OptionsAndLimitEdits() {
        Program p;
        TVexaForm& v = *p.Vexa;
        QVERIFY(QTest::qWaitForWindowActive(&v));
        auto masks = [&] {
            QString m;
            for (QGroupBox* g : {v.LinGroupBox, v.BodGroupBox, v.TxbGroupBox, v.PloGroupBox, v.DBGroupBox})
                m += QString::number(TVexaForm::GroupBoxMask(g)) + " ";
            return m;
        };
        // "vyber všetky" ticks every option and enables the limit edits, and takes them back.
        QTest::mouseClick(v.CBVsetky, Qt::LeftButton, {}, QPoint(8, v.CBVsetky->height() / 2));
        QVERIFY(v.CBVsetky->isChecked());
        QCOMPARE(masks(), QString("63 3 3 7 15 "));
        QCOMPARE(Flags("enabled", {v.LinEditDlzka, v.PloEditPlocha}), QString("11"));
        QTest::mouseClick(v.CBVsetky, Qt::LeftButton, {}, QPoint(8, v.CBVsetky->height() / 2));
        QCOMPARE(masks(), QString("0 0 0 0 0 "));
        QCOMPARE(Flags("enabled", {v.LinEditDlzka, v.PloEditPlocha}), QString("00"));
        // A single box: the limit edit follows its check box.
        v.PloCBPlocha->setChecked(true);
        QVERIFY(v.PloEditPlocha->isEnabled());
        QCOMPARE(TVexaForm::GroupBoxMask(v.PloGroupBox), std::uint16_t(4));
        // The limit edits take digits and one separator, and hold the shortest number once left.
        auto leave = [&](TLimitEdit* e) {
            e->setFocus();
            v.CBVsetky->setFocus();
            return e->text();
        };
        v.LinCBDlzka->setChecked(true);
        v.LinEditDlzka->clear();
        QTest::keyClicks(v.LinEditDlzka, "1.2.3");
        QCOMPARE(v.LinEditDlzka->text(), QString("1.23"));
        QCOMPARE(leave(v.LinEditDlzka), QString("1.23"));
        v.LinEditDlzka->setFocus();
        v.LinEditDlzka->selectAll();
        QTest::keyClick(v.LinEditDlzka, Qt::Key_Backspace);
        QCOMPARE(v.LinEditDlzka->text(), QString());
        QCOMPARE(leave(v.LinEditDlzka), QString("0"));
        v.PloEditPlocha->setFocus();
        v.PloEditPlocha->selectAll();
        QTest::keyClicks(v.PloEditPlocha, "12.");
        QCOMPARE(leave(v.PloEditPlocha), QString("12"));
        // The decimal comma, typed and from the numeric pad, is the separator, shown as ".".
        v.LinEditDlzka->setFocus();
        v.LinEditDlzka->selectAll();
        QTest::keyClicks(v.LinEditDlzka, "0,5");
        QCOMPARE(v.LinEditDlzka->text(), QString("0.5"));
        QTest::keyClick(v.LinEditDlzka, Qt::Key_Comma, Qt::KeypadModifier);  // a second one is refused
        QCOMPARE(leave(v.LinEditDlzka), QString("0.5"));
        v.PloEditPlocha->setFocus();
        v.PloEditPlocha->selectAll();
        QTest::keyClick(v.PloEditPlocha, Qt::Key_2);
        QTest::keyClick(v.PloEditPlocha, Qt::Key_Comma, Qt::KeypadModifier);
        QTest::keyClick(v.PloEditPlocha, Qt::Key_5);
        QCOMPARE(leave(v.PloEditPlocha), QString("2.5"));
        QVERIFY(v.LinCBDlzka->isChecked() && v.PloCBPlocha->isChecked());
    }

    void CheckRunWithFindingsOpensTheBrowser() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}, {2, 7}});  // kind 6 is not admitted in LE
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 6}});
        MakePointBlock(p.Map.Path() / "le-00003.blk", {{1, 6}});  // a name that does not conform
        p.Open(p.Map.Path());
        TVexaForm& v = *p.Vexa;
        v.Grid().SetCell(kColKontrola, 2, "2");  // LE_00002.blk deselected: not examined
        p.Box("BodCBPripustnost")->setChecked(true);
        bool seen = false;
        WhenModal([&] {
            seen = true;
            TChybyForm& c = *p.Chyby;
            QVERIFY(c.isVisible());
            QVERIFY(!v.isVisible());  // the main window is hidden while the browser is shown
            QVERIFY(v.Running());
            QCOMPARE(Flags("enabled", {v.KontrolaButton, v.MenuMapaZavriet, c.ComboBox2, c.BitBtn1}), QString("0001"));
            QVERIFY(!v.close());  // the window stays while the run goes on
            QCOMPARE(c.Model().rowCount(), 1);
            for (auto [field, text] : {std::pair{"Id", "-31"}, {"Prvok", "B"}, {"Cislo", "1"}})
                QCOMPARE(ValueText(c.Model().FieldOf(0, field)), std::string(text));
            QVERIFY(!c.DBGrid->isColumnHidden(0));  // the code column is shown
            QCOMPARE(c.Label4->text(), QString::fromUtf8("Záznam: 1/1"));
            c.KoniecBitBtn->click();
        });
        v.KontrolaButton->click();
        QVERIFY(seen);
        QVERIFY(v.isVisible());
        QVERIFY(!v.Running());
        QCOMPARE(Flags("enabled", {v.KontrolaButton, v.MenuMapaZavriet}), QString("11"));
        QVERIFY(v.LabelKontr->text().isEmpty());
        QVERIFY(!v.LinGauge->isVisible());
        QVERIFY(fs::exists(p.Map.Path() / "Chyby.DBF"));
        // The end box before the browser: the block left out with its reason, the count of findings.
        QCOMPARE(p.Messages.Texts(TMsgType::Information),
                 std::vector<std::string>{"Skontrolované bloky: 1, vynechané: 1.\r" + LeftOutMessage("le-00003.blk") +
                                          "\rPočet chýb: 1 (" + (p.Map.Path() / "Chyby.DBF").string() + ")" +
                                          "\rNové: 1, trvajúce: 0, opravené: 0, výnimky: 0."});
        QCOMPARE(p.Messages.Shown.size(), size_t(1));
        QVERIFY(!fs::exists(p.Map.Path() / "le-00003.blk" / "Chyby.DBF"));
        // The working table was started afresh: a second run finds the same one finding again.
        int rows = -1;
        WhenModal([&] {
            rows = p.Chyby->Model().rowCount();
            p.Chyby->reject();
        });
        v.KontrolaButton->click();
        QCOMPARE(rows, 1);
    }

    // The review in the window: statuses, an exception with a reason (the finding leaves the
    // table and the next run), the exceptions' filter, a re-check of one block that keeps the
    // other blocks' rows, and the notice over an older table after a run without findings.
    // The main window's "Správa": none before a run; after a clean run, the report of that
    // run (never "Bez chýb." while a block was skipped), opened in the browser.
    void MainWindowReportsTheLastRun() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 5}});  // kind 5 is admitted in LE
        p.Open(p.Map.Path());
        TVexaForm& v = *p.Vexa;
        QVERIFY(v.SpravaButton->isEnabled());
        const fs::path html = p.Map.Path() / "sprava.html";
        p.Dialogs.SaveAs = html.string();
        v.SpravaButton->click();
        QCOMPARE(p.Messages.Texts(TMsgType::Information),
                 std::vector<std::string>{"Mapa zatiaľ nemá zaznamenanú kontrolu."});
        QVERIFY(!fs::exists(html));
        p.Box("BodCBPripustnost")->setChecked(true);
        v.KontrolaButton->click();
        QVERIFY(!fs::exists(p.Map.Path() / "Chyby.DBF"));  // nothing found
        v.SpravaButton->click();
        QCOMPARE(p.Dialogs.Opened, std::vector<std::string>{html.string()});
        const std::string page = testkit::ReadFileText(html);
        QVERIFY(page.find("<div class=\"ok\" id=\"stav\">Bez chýb.</div>") != std::string::npos);
        QVERIFY(page.find("<td>LE_00001.blk</td><td>skontrolovaný</td>") != std::string::npos);
        // The findings per block asked as vexa-check's --report-findings: the default first.
        QCOMPARE(p.Dialogs.LastItems, (std::vector<std::string>{"20 chýb z každého bloku", "všetky chyby",
                                                                "len súhrn (bez zoznamu chýb)"}));
        QVERIFY(page.find("Z každého bloku je vypísaných najviac 20 chýb") == std::string::npos);  // none found
        fs::remove(html);
        p.Dialogs.Choice = std::optional<std::string>();  // cancelled: nothing written
        v.SpravaButton->click();
        QVERIFY(!fs::exists(html));
        p.Dialogs.Choice = std::optional<std::string>("veľa");
        v.SpravaButton->click();
        QVERIFY(!fs::exists(html));
        QCOMPARE(p.Messages.Texts(TMsgType::Error).size(), std::size_t(1));
        QCOMPARE(ReportFindingsChoice("20 chýb z každého bloku"), std::optional<int>(20));
        QCOMPARE(ReportFindingsChoice(" 7 "), std::optional<int>(7));
        QCOMPARE(ReportFindingsChoice("všetky chyby"), std::optional<int>(report::kAllFindings));
        QCOMPARE(ReportFindingsChoice("len súhrn (bez zoznamu chýb)"), std::optional<int>(0));
        QCOMPARE(ReportFindingsChoice("veľa"), std::optional<int>());
    }

    void ReCheckInTheBrowserTakesTheOptionsOfTheTablesRun() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}, {2, 7}});  // kind 6 is not admitted in LE
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 6}});
        p.Open(p.Map.Path());
        TVexaForm& v = *p.Vexa;
        p.Box("BodCBPripustnost")->setChecked(true);
        std::vector<TErrorRecord> full, again;
        std::string status;
        std::vector<std::string> asked;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            full = ReadErrorTable((p.Map.Path() / "Chyby.DBF").string());
            QCOMPARE(full.size(), size_t(2));
            // The boxes changed since (or are the defaults after a restart): the run's options count.
            p.Box("BodCBPripustnost")->setChecked(false);
            p.Box("LinCBKrivky")->setChecked(true);
            c.SetCurrentRow(1);
            QCOMPARE(ValueText(c.Model().FieldOf(1, "Blok")), std::string("LE_00002.blk"));
            c.ZnovaBitBtn->click();
            QCOMPARE(p.Messages.Texts(TMsgType::Error), std::vector<std::string>{});
            QVERIFY(p.Messages.Texts(TMsgType::Question).empty());
            again = ReadErrorTable((p.Map.Path() / "Chyby.DBF").string());
            QCOMPARE(c.Model().rowCount(), 2);
            status = c.Model().StatusText(1);
            // No run kept: the window asks before it takes today's boxes; "No" checks nothing.
            fs::remove_all(p.Map.Path() / ".vexa");
            p.Messages.NoAnswers = 1;
            c.SetCurrentRow(0);
            c.ZnovaBitBtn->click();
            asked = p.Messages.Texts(TMsgType::Question);
            c.KoniecBitBtn->click();
        });
        v.KontrolaButton->click();
        QCOMPARE(again, full);
        QVERIFY2(status.rfind("trvá od ", 0) == 0, status.c_str());
        QCOMPARE(asked.size(), size_t(1));
        QVERIFY(asked[0].find("Skontrolovať blok LE_00001.blk s voľbami zaškrtnutými v hlavnom okne?") !=
                std::string::npos);
        QCOMPARE(ReadErrorTable((p.Map.Path() / "Chyby.DBF").string()), full);
    }

    void ATableFindingsExceptionInTheBrowserHidesTheRowChosen() {
        if (!fs::is_directory(VEXA_SAMPLE_MAP)) QSKIP("the sample map is not built");
        Program p;
        const fs::path map = p.Map.Path() / "map";
        fs::copy(VEXA_SAMPLE_MAP, map, fs::copy_options::recursive);
        p.Open(map);
        p.Box("DBCBKontAtr")->setChecked(true);
        auto rowOf = [&](TChybyForm& c, const std::string& block, const std::string& text) {
            for (int r = 0; r < c.Model().rowCount(); ++r)
                if (ValueText(c.Model().FieldOf(r, "Blok")) == block && ValueText(c.Model().FieldOf(r, "Chyba")) == text)
                    return r;
            return -1;
        };
        QString detail;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            // The status line tells what the structure finding found wrong.
            const int structure = rowOf(c, "LE_00001.blk", "chybná DB štruktúra");
            QVERIFY(structure >= 0);
            c.SetCurrentRow(structure);
            detail = c.DetailLabel->text();
            // One of the three missing line tables.
            const int row = rowOf(c, "LE_00001.blk", "DB l0021.dbf neexistuje");
            QVERIFY(row >= 0);
            c.SetCurrentRow(row);
            p.Dialogs.Answer = "vedie sa v inej evidencii";
            c.VynimkaBitBtn->click();
            QCOMPARE(p.Messages.Texts(TMsgType::Error), std::vector<std::string>{});
            QVERIFY(p.Dialogs.LastQuestion.find("tabuľka l0021.dbf") != std::string::npos);
            c.KoniecBitBtn->click();
        });
        p.Vexa->KontrolaButton->click();
        QCOMPARE(detail, QString::fromUtf8("p0001.dbf: chýba DREVINA C 4, VEK N 3, DATUM D"));
        const std::vector<review::TReviewException> kept = review::LoadExceptions(map.string() + "/");
        QCOMPARE(kept.size(), size_t(1));
        QCOMPARE(kept[0].Table, std::string("l0021.dbf"));

        std::vector<std::string> lines;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            for (const char* text : {"DB l0001.dbf neexistuje", "DB l0021.dbf neexistuje", "DB l0030.dbf neexistuje"})
                lines.push_back(rowOf(c, "LE_00001.blk", text) >= 0 ? "shown" : "hidden");
            c.reject();
        });
        p.Vexa->KontrolaButton->click();
        QCOMPARE(lines, (std::vector<std::string>{"shown", "hidden", "shown"}));
        QVERIFY(p.Messages.Texts(TMsgType::Information).back().find("výnimky: 1.") != std::string::npos);
    }

    void ReviewCycleInTheBrowser() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}, {2, 7}});  // kind 6 is not admitted in LE
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 6}});
        p.Open(p.Map.Path());
        TVexaForm& v = *p.Vexa;
        p.Box("BodCBPripustnost")->setChecked(true);
        int statusColumn = -1;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            QCOMPARE(c.Model().rowCount(), 2);
            statusColumn = c.Model().StatusColumn();
            QCOMPARE(c.Model().headerData(statusColumn, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Stav"));
            QCOMPARE(c.Model().StatusText(0), std::string("nová"));
            QCOMPARE(c.Model().StatusText(1), std::string("nová"));
            // A cancelled question makes no exception.
            c.SetCurrentRow(0);
            c.VynimkaBitBtn->click();
            QCOMPARE(c.Model().rowCount(), 2);
            QVERIFY(!fs::exists(p.Map.Path() / "Vynimky.DBF"));
            QVERIFY(p.Dialogs.LastQuestion.find("LE_00001.blk B:1") != std::string::npos);
            p.Dialogs.Answer = "   ";  // a reason is required
            c.VynimkaBitBtn->click();
            QCOMPARE(c.Model().rowCount(), 2);
            QCOMPARE(p.Messages.Texts(TMsgType::Warning), std::vector<std::string>{"Výnimka potrebuje dôvod."});
            // The button's key is Ctrl+N.
            bool keyed = false;
            for (QShortcut* s : c.findChildren<QShortcut*>())
                keyed = keyed || s->key() == QKeySequence(Qt::CTRL | Qt::Key_N);
            QVERIFY(keyed);
            p.Dialogs.Answer = "značka je otočená zámerne";
            c.VynimkaBitBtn->click();
            QCOMPARE(p.Messages.Texts(TMsgType::Error), std::vector<std::string>{});
            QCOMPARE(c.Model().rowCount(), 1);
            QCOMPARE(ValueText(c.Model().FieldOf(0, "Blok")), std::string("LE_00002.blk"));
            // The exceptions' filter: the reason and that it holds.
            c.ComboBox3->setCurrentIndex(3);
            c.ComboBox3Change();
            QCOMPARE(c.Model().rowCount(), 1);
            QCOMPARE(c.Model().StatusText(0), std::string("výnimka, platí: značka je otočená zámerne"));
            QVERIFY(!c.BitBtn1->isEnabled());
            c.ComboBox3->setCurrentIndex(1);  // new ones only
            c.ComboBox3Change();
            QCOMPARE(c.Model().rowCount(), 1);
            c.ComboBox3->setCurrentIndex(2);  // persisting: none yet
            c.ComboBox3Change();
            QCOMPARE(c.Model().rowCount(), 0);
            c.ComboBox3->setCurrentIndex(0);
            c.ComboBox3Change();
            // Again for LE_00002.blk alone: its finding persists, LE_00001.blk's rows stay.
            c.SetCurrentRow(0);
            QVERIFY(c.ZnovaBitBtn->isEnabled());
            c.ZnovaBitBtn->click();
            QCOMPARE(c.Model().rowCount(), 1);
            QCOMPARE(ValueText(c.Model().FieldOf(0, "Blok")), std::string("LE_00002.blk"));
            QVERIFY(c.Model().StatusText(0).rfind("trvá od ", 0) == 0);
            c.KoniecBitBtn->click();
        });
        v.KontrolaButton->click();
        QVERIFY(statusColumn > 0);
        QVERIFY(!v.Running());
        std::vector<std::string> info = p.Messages.Texts(TMsgType::Information);
        QCOMPARE(info.size(), size_t(2));
        QVERIFY(info[1].find("Nové: 0, trvajúce: 1, opravené: 0, výnimky: 0.") != std::string::npos);

        // The next run leaves the excepted finding out and counts it.
        int rows = -1;
        WhenModal([&] {
            rows = p.Chyby->Model().rowCount();
            p.Chyby->reject();
        });
        v.KontrolaButton->click();
        QCOMPARE(rows, 1);
        info = p.Messages.Texts(TMsgType::Information);
        QVERIFY(info.back().find("výnimky: 1.") != std::string::npos);

        // A run without findings leaves the table; the browser says it is older.
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 7}});
        v.Grid().SetCell(kColKontrola, 1, "2");  // LE_00001.blk deselected
        v.KontrolaButton->click();
        QCOMPARE(p.Messages.Texts(TMsgType::Information).back(),
                 std::string("Bez chýb.\rNové: 0, trvajúce: 0, opravené: 1, výnimky: 0."));
        QString notice;
        WhenModal([&] {
            notice = p.Chyby->StavLabel->text();
            p.Chyby->reject();
        });
        p.Chyby->ShowModalFor(p.Map.Path().string());
        QVERIFY2(notice.startsWith(QString::fromUtf8("Posledná kontrola (")), qPrintable(notice));
        QVERIFY(notice.contains(QString::fromUtf8("nenašla žiadne chyby")));
    }

    void CheckRunWithoutFindingsShowsTheBlockAndOneGaugePerPass() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{2, 6}, {1, 6}});  // not in number order: not cleaned
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 7}, {2, 7}, {3, 7}});
        p.Open(p.Map.Path());
        TVexaForm& v = *p.Vexa;
        p.Box("BodCBPripustnost")->setChecked(true);
        std::set<std::string> seen;
        p.App.OnProcess = [&] {
            std::string gauges;
            for (QProgressBar* g : {v.LinGauge, v.BodGauge, v.TxbGauge, v.PloGauge})
                if (g->isVisible()) gauges += g->objectName().toStdString() + " " + std::to_string(g->maximum());
            seen.insert(v.LabelKontr->text().toStdString() + " | " + gauges);
            // A second run, closing the map or the window wait until this one ends.
            v.KontrolaButton->click();
            v.MenuMapaZavriet->trigger();
            QVERIFY(!v.close());
        };
        std::vector<QString> captions;
        p.Messages.OnShow = [&] { captions.push_back(v.LabelKontr->text()); };
        v.KontrolaButton->click();
        p.App.OnProcess = nullptr;
        QVERIFY(seen.count("LE_00002.blk | BodGauge 3"));
        for (const auto& s : seen)
            QVERIFY2(s.rfind("LE_00001.blk | ", 0) == 0 || s.rfind("LE_00002.blk | ", 0) == 0, s.c_str());
        // The box keeps its text; it offers "OK pre všetky" besides OK.
        QCOMPARE(p.Messages.Texts(TMsgType::WarningForAll),
                 std::vector<std::string>{"Blok\r" + p.Map.Path().string() +
                                          "/LE_00001.blk\rnebol vyčistený, nebude kontrolovaný"});
        // One block skipped: counted, named with why, and not "Bez chýb.".
        QCOMPARE(p.Messages.Texts(TMsgType::Information),
                 std::vector<std::string>{"Skontrolované bloky: 1, vynechané: 1.\r"
                                          "Blok LE_00001.blk nebude kontrolovaný: nebol vyčistený"});
        QCOMPARE(captions.back(), QString());  // emptied before the final message
        QVERIFY(!fs::exists(p.Map.Path() / "Chyby.DBF"));
        QVERIFY(!v.BodGauge->isVisible());
        QVERIFY(v.LabelKontr->text().isEmpty());
        QCOMPARE(p.Rows().size(), size_t(2));  // the map stayed open
        QCOMPARE(Flags("enabled", {v.KontrolaButton, v.MenuMapaZavriet}), QString("11"));
    }

    // No box ticked: the run refuses with an error message and touches nothing.
    void ARunWithNoCheckChosenIsAnError() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 6}});
        p.Open(p.Map.Path());
        p.Vexa->KontrolaButton->click();
        QCOMPARE(p.Messages.Shown.size(), size_t(1));
        QCOMPARE(p.Messages.Shown[0].first, TMsgType::Error);
        QCOMPARE(p.Messages.Shown[0].second, std::string("Nie je zvolená žiadna kontrola."));
        QVERIFY(!fs::exists(p.Map.Path() / "Chyby.DBF"));
        QVERIFY(p.Vexa->KontrolaButton->isEnabled());
    }

    void AnUnreadableBlockIsSkippedAndTheOthersChecked() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 6}});
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}});
        fs::remove(p.Map.Path() / "LE_00001.blk" / "tn.are");
        fs::create_directory(p.Map.Path() / "LE_00001.blk" / "tn.are");  // cannot be opened as a file
        p.Open(p.Map.Path());
        QCOMPARE(p.Rows().size(), size_t(2));
        p.Box("BodCBPripustnost")->setChecked(true);
        bool browsed = false;
        WhenModal([&] {
            browsed = true;
            p.Chyby->reject();
        });
        p.Vexa->KontrolaButton->click();
        // The first block cannot be opened: it is skipped with a warning naming it, the second
        // is checked, and the run says that one block was left out.
        int named = 0, counted = 0;
        for (const auto& [type, text] : p.Messages.Shown) {
            if (type == TMsgType::Warning && text.find("LE_00001.blk") != std::string::npos &&
                text.find("sa nedá prečítať") != std::string::npos)
                ++named;
            // The end box begins with the count; a run with findings adds their number below it.
            if (text.rfind("Skontrolované bloky: 1, vynechané: 1.", 0) == 0) ++counted;
            QVERIFY(type != TMsgType::Error);
        }
        QCOMPARE(named, 1);
        QCOMPARE(counted, 1);
        QCOMPARE(browsed, fs::exists(p.Map.Path() / "Chyby.DBF"));
        QVERIFY(!p.Vexa->Running());
        QVERIFY(p.Vexa->KontrolaButton->isEnabled());
        QVERIFY(p.Vexa->LabelKontr->text().isEmpty());
    }

    // "Správa": the report of the rows shown (under the filter), written where asked and
    // opened in the browser; cancelled, nothing is written.
    void BrowserReportsTheFindingsItShows() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}, {2, 5}});
        p.Open(p.Map.Path());
        const std::string table = WriteErrorTable(p.Map.Path(), {
            {-31, "LE_00001.blk", "LE", "B", 6, 1, "neprípustný druh <vo> vrstve"},
            {-32, "LE_00001.blk", "LE", "B", 5, 2, "uhol otočenia"},
            {-11, "LE_00001.blk", "LE", "L", 9, 6, "prípustnosť"}});
        p.Dialogs.File = table;
        const fs::path html = p.Map.Path() / "sprava.html";
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            c.ComboBox1->setCurrentIndex(2);  // points only
            c.ComboBox1Change();
            p.Dialogs.SaveAs.reset();
            c.SpravaBitBtn->click();
            QCOMPARE(p.Dialogs.LastSaveName, (p.Map.Path() / "Sprava.html").string());
            QVERIFY(!fs::exists(html));
            p.Dialogs.SaveAs = html.string();
            c.SpravaBitBtn->click();
            c.KoniecBitBtn->click();
        });
        p.Vexa->MenuChybyOtvorit->trigger();
        QVERIFY(p.Messages.Texts(TMsgType::Error).empty());
        QCOMPARE(p.Dialogs.Opened, std::vector<std::string>{html.string()});
        const std::string page = testkit::ReadFileText(html);
        // The two point findings (their text escaped), each with a thumbnail; not the line's.
        QVERIFY(page.find("neprípustný druh &lt;vo&gt; vrstve") != std::string::npos);
        QVERIFY(page.find("uhol otočenia") != std::string::npos);
        QVERIFY(page.find(">prípustnosť<") == std::string::npos);
        int thumbnails = 0;
        for (std::size_t at = page.find("alt=\"B:"); at != std::string::npos; at = page.find("alt=\"B:", at + 1))
            ++thumbnails;
        QCOMPARE(thumbnails, 2);
    }

    void BrowserExportsTheFindingsItShows() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}, {2, 5}});
        p.Open(p.Map.Path());
        const std::string table = WriteErrorTable(p.Map.Path(), {
            {-31, "LE_00001.blk", "LE", "B", 6, 1, "neprípustný druh vo vrstve"},
            {-32, "LE_00001.blk", "LE", "B", 5, 2, "uhol otočenia"},
            {-11, "LE_00001.blk", "LE", "L", 9, 6, "prípustnosť"},
            {-91, "LE_00001.blk", std::nullopt, "L", std::nullopt, std::nullopt, "DB l0009.dbf neexistuje"}});
        p.Dialogs.File = table;
        const fs::path gpkg = p.Map.Path() / "e.gpkg";
        int info = 0;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            // Points only: the two point findings go out, nothing else.
            c.ComboBox1->setCurrentIndex(2);
            c.ComboBox1Change();
            QCOMPARE(c.FilterExpression(), std::string("Prvok = 'B'"));
            QCOMPARE(c.Model().rowCount(), 2);
            p.Dialogs.SaveAs = gpkg.string();
            c.ExportBitBtn->click();
            QCOMPARE(p.Dialogs.LastSaveName, (p.Map.Path() / "Chyby.gpkg").string());
            info = static_cast<int>(p.Messages.Texts(TMsgType::Information).size());
            // Cancelled: nothing happens.
            p.Dialogs.SaveAs.reset();
            c.ExportBitBtn->click();
            c.KoniecBitBtn->click();
        });
        p.Vexa->MenuChybyOtvorit->trigger();
        QCOMPARE(info, 1);
        QCOMPARE(p.Messages.Texts(TMsgType::Information).size(), size_t(1));
        QCOMPARE(p.Messages.Texts(TMsgType::Information)[0], std::string("Exportovaných chýb: 2\r(e.gpkg)"));
        QVERIFY(p.Messages.Texts(TMsgType::Error).empty());

        GDALAllRegister();
        GDALDataset* ds = static_cast<GDALDataset*>(
            GDALOpenEx(gpkg.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
        QVERIFY(ds);
        OGRLayer* points = ds->GetLayerByName("findings_point");
        QVERIFY(points);
        QCOMPARE(points->GetFeatureCount(), GIntBig(2));
        QCOMPARE(ds->GetLayerByName("findings_line")->GetFeatureCount(), GIntBig(0));
        QCOMPARE(ds->GetLayerByName("findings_table")->GetFeatureCount(), GIntBig(0));
        // Each at its point in the block (number n at 100 + n, 200).
        std::map<int, std::pair<double, double>> at;
        std::set<std::string> texts;
        points->ResetReading();
        while (OGRFeature* f = points->GetNextFeature()) {
            const OGRPoint* g = f->GetGeometryRef()->toPoint();
            at[f->GetFieldAsInteger("number")] = {g->getX(), g->getY()};
            texts.insert(f->GetFieldAsString("text"));
            OGRFeature::DestroyFeature(f);
        }
        GDALClose(ds);
        QCOMPARE(at[1], std::make_pair(101.0, 200.0));
        QCOMPARE(at[2], std::make_pair(102.0, 200.0));
        QCOMPARE(texts, (std::set<std::string>{"neprípustný druh vo vrstve", "uhol otočenia"}));
    }

    void BrowserFiltersCountsAndScales() {
        Program p;
        p.OpenBlocks({"LE_00001.blk"});
        const std::string table = WriteErrorTable(p.Map.Path(), {
            {-73, "LE_00001.blk", "LE", "L", 1, 5, "zhoda"},
            {-11, "LE_00001.blk", "LE", "L", 9, 6, "prípustnosť"},
            {-31, "LE_00001.blk", "LE", "B", 6, 1, "bod"},
            {-91, "LE_00001.blk", std::nullopt, "L", std::nullopt, std::nullopt, "databáza"}});
        p.Dialogs.File = (p.Map.Path() / "other.dbf").string();
        p.Dialogs.Colour = QColor(0, 128, 255);
        bool seen = false;
        WhenModal([&] {
            seen = true;
            TChybyForm& c = *p.Chyby;
            TVexaForm& v = *p.Vexa;
            // The map stays open under the browser; the browser's directory is the table's.
            QVERIFY(v.MenuMapaZavriet->isEnabled());
            QCOMPARE(p.Rows().size(), size_t(1));
            QCOMPARE(v.MapaDir(), p.Map.Path().string() + "/");
            QCOMPARE(c.Model().rowCount(), 4);
            c.SetCurrentRow(1);
            QCOMPARE(c.Label4->text(), QString::fromUtf8("Záznam: 2/4"));
            c.NavLast->click();
            QCOMPARE(c.CurrentRow(), 3);
            QVERIFY(!c.NavNext->isEnabled());
            c.NavFirst->click();
            QCOMPARE(c.Label4->text(), QString::fromUtf8("Záznam: 1/4"));
            // Group "linie", then type "zhoda plôch".
            c.ComboBox1->setFocus();
            QTest::keyClick(c.ComboBox1, Qt::Key_Down);
            QCOMPARE(c.ComboBox1->currentText(), QString("linie"));
            QVERIFY(c.ComboBox2->isEnabled());
            QCOMPARE(c.ComboBox2->count(), 8);
            QCOMPARE(c.ComboBox2->currentText(), QString::fromUtf8("všetky"));
            QCOMPARE(c.FilterExpression(), std::string("Prvok = 'L'"));
            QCOMPARE(c.Model().rowCount(), 3);
            // The counter counts the rows the filter shows, not the whole table.
            c.SetCurrentRow(2);
            QCOMPARE(c.Label4->text(), QString::fromUtf8("Záznam: 3/3"));
            c.ComboBox2->setFocus();
            for (int i = 0; i < 5; ++i) QTest::keyClick(c.ComboBox2, Qt::Key_Down);
            QCOMPARE(c.ComboBox2->currentText(), QString::fromUtf8("zhoda plôch"));
            QCOMPARE(c.FilterExpression(), std::string("Id = -73 and Prvok = 'L'"));
            QCOMPARE(c.Model().rowCount(), 1);
            QCOMPARE(ValueText(c.Model().FieldOf(0, "Id")), std::string("-73"));
            QCOMPARE(c.Label4->text(), QString::fromUtf8("Záznam: 1/1"));
            // Group "texty": three types; no finding.
            c.ComboBox1->setCurrentIndex(3);
            c.ComboBox1Change();
            QCOMPARE(c.ComboBox2->count(), 3);
            QCOMPARE(c.Model().rowCount(), 0);
            QVERIFY(c.Label4->text().isEmpty());
            // Back to "všetky": no filter, type box disabled.
            c.ComboBox1->setCurrentIndex(0);
            c.ComboBox1Change();
            QCOMPARE(c.FilterExpression(), std::string());
            QVERIFY(!c.ComboBox2->isEnabled());
            QCOMPARE(c.Model().rowCount(), 4);
            // Show requests: no GIS here, so the link asks to start it; the scale follows the buttons.
            c.SetCurrentRow(0);
            c.BitBtn2->click();
            QCOMPARE(p.Messages.Texts(TMsgType::Information).back(), std::string("Spusti Topol 6.x."));
            c.BitBtn3->click();
            c.BitBtn3->click();
            QCOMPARE(c.Scale(), 4.0);
            c.BitBtn4->click();
            QCOMPARE(c.Scale(), 2.0);
            QCOMPARE(p.Messages.Texts(TMsgType::Information).size(), size_t(4));
            c.LupaSButt->click();  // up: positioning off
            QVERIFY(!c.Zoom());
            QCOMPARE(Flags("enabled", {c.BitBtn3, c.BitBtn4}), QString("00"));
            c.BitBtn5->click();
            QVERIFY(!c.LupaSButt->isChecked());
            QCOMPARE(c.Scale(), 1.0);
            // A finding without an element number is not shown.
            const size_t before = p.Messages.Shown.size();
            c.SetCurrentRow(3);
            c.BitBtn2->click();
            QCOMPARE(p.Messages.Shown.size(), before);
            QTest::mouseClick(c.Label1, Qt::LeftButton);
            QCOMPARE(c.MarkingColour(), QColor(0, 128, 255));
            // Delete the second finding: no question asked, the next one becomes current.
            c.SetCurrentRow(1);
            c.BitBtn1->click();
            QCOMPARE(c.Model().rowCount(), 3);
            QCOMPARE(ValueText(c.Model().FieldOf(1, "Id")), std::string("-31"));
            QVERIFY(p.Messages.Texts(TMsgType::Question).empty());
            for (int i = 0; i < 3; ++i) c.BitBtn1->click();
            QCOMPARE(c.Model().rowCount(), 0);
            QCOMPARE(Flags("enabled", {c.BitBtn1, c.BitBtn2, c.DBNavigator1}), QString("000"));
            c.KoniecBitBtn->click();
        });
        p.Vexa->MenuChybyOtvorit->trigger();
        QVERIFY(seen);
        QVERIFY(p.Vexa->isVisible());
        // The deletions are in the file.
        TTableDBF t;
        t.SetTableName(table);
        t.Open();
        QCOMPARE(t.VisibleCount(), 0);
        QVERIFY(p.Messages.Texts(TMsgType::Error).empty());
        // A directory without an error table: the table's error is shown, the browser stays closed.
        TempDir empty;
        p.Dialogs.File = (empty.Path() / "x.dbf").string();
        p.Vexa->MenuChybyOtvorit->trigger();
        QCOMPARE(p.Messages.Texts(TMsgType::Error).size(), size_t(1));
        QVERIFY(!p.Chyby->isVisible());
        QVERIFY(p.Vexa->isVisible());
        // The opened map is kept: its directory and its block list.
        QCOMPARE(p.Vexa->MapaDir(), p.Map.Path().string() + "/");
        QCOMPARE(p.Rows().size(), size_t(1));
        QCOMPARE(Flags("enabled", {p.Vexa->KontrolaButton, p.Vexa->MenuMapaZavriet}), QString("11"));
    }

    void TheSampleMapRunsIntoTheBrowser() {
        if (!fs::is_directory(VEXA_SAMPLE_MAP)) QSKIP("the sample map is not built");
        Program p;
        const fs::path map = p.Map.Path() / "map";
        fs::copy(VEXA_SAMPLE_MAP, map, fs::copy_options::recursive);
        p.Open(map);
        QVERIFY(p.Rows().size() >= 2);
        QVERIFY(!p.Vexa->Grid().RowsToCheck().empty());
        // "vyber všetky": every check and every repair of the attribute tables.
        const auto numbers = [&] {
            std::vector<std::string> all;
            for (const auto& block : fs::directory_iterator(map)) {
                if (!fs::exists(block.path() / "p0001.dbf")) continue;
                TTableDBF t;
                t.SetTableName((block.path() / "p0001.dbf").string());
                t.Open();
                for (t.First(); !t.Eof(); t.Next()) {
                    const TValue v = t.FieldValue("CISLO");
                    all.push_back(block.path().filename().string() + ":" +
                                  (IsNull(v) ? std::string("null") : std::to_string(std::get<double>(v))));
                }
            }
            return all;
        };
        const auto before = numbers();
        QVERIFY(before.size() >= 3);
        QTest::mouseClick(p.Vexa->CBVsetky, Qt::LeftButton, {}, QPoint(8, p.Vexa->CBVsetky->height() / 2));
        QCOMPARE(TVexaForm::GroupBoxMask(p.Vexa->DBGroupBox), std::uint16_t(15));
        int shownRows = -1;
        WhenModal([&] {
            shownRows = p.Chyby->Model().rowCount();
            p.Chyby->reject();
        });
        p.Vexa->KontrolaButton->click();
        QVERIFY(p.Messages.Texts(TMsgType::Error).empty());
        QVERIFY(fs::exists(map / "Chyby.DBF"));
        TTableDBF t;
        t.SetTableName((map / "Chyby.DBF").string());
        t.Open();
        QVERIFY(t.VisibleCount() > 0);
        QCOMPARE(shownRows, t.VisibleCount());
        QCOMPARE(numbers(), before);  // no repair removed the element numbers
        // The end box names the tables the repairs rewrote and gives the number of findings.
        const auto info = p.Messages.Texts(TMsgType::Information);
        QCOMPARE(info.size(), size_t(1));
        QVERIFY2(info[0].find("\rUpravená tabuľka " + (map / "").string()) != std::string::npos, info[0].c_str());
        QVERIFY2(info[0].find("\rPočet chýb: " + std::to_string(t.VisibleCount()) + " (") != std::string::npos,
                 info[0].c_str());
    }

    void RenameDialogComposesTheName() {
        Program p;
        TPremForm& d = *p.Prem;
        d.SetPrefixItems({"CE", "LE"});
        WhenModal([&] {
            QVERIFY(d.GetNewName().empty());
            QTest::keyClicks(d.ComboBox1->lineEdit(), "l1e");
            QCOMPARE(d.ComboBox1->currentText(), QString("LE"));
            QTRY_VERIFY(d.Edit1->hasFocus());
            QTest::keyClicks(d.Edit1, "12_a.B");
            QCOMPARE(d.Edit1->text(), QString("12aB"));
            d.Edit1->insert("/..");  // as a paste would: refused
            QCOMPARE(d.Edit1->text(), QString("12aB"));
            // The name OK gives is shown before it is applied.
            QCOMPARE(d.LabelResult->text(), QString("Nové meno: LE_12aB.blk"));
            d.BitBtn1->click();
        });
        QCOMPARE(d.exec(), int(QDialog::Accepted));
        QCOMPARE(d.GetNewName(), std::string("LE_12aB.blk"));
        // Each display starts empty; OK with an empty number part keeps the dialog and says why.
        bool stayed = false;
        WhenModal([&] {
            QVERIFY(d.ComboBox1->currentText().isEmpty());
            QVERIFY(d.Edit1->text().isEmpty());
            QCOMPARE(d.LabelResult->text(), QString::fromUtf8("Zadajte kód vrstvy."));
            d.ComboBox1->setCurrentIndex(0);
            d.BitBtn1->click();
            stayed = d.isVisible();
            QCOMPARE(d.LabelResult->text(), QString::fromUtf8("Zadajte číslo bloku."));
            // "7" is taken as typed (no padding), and the line shows so before OK.
            QTest::keyClicks(d.Edit1, "7");
            QCOMPARE(d.LabelResult->text(), QString::fromUtf8("Nové meno: CE_7.blk"));
            d.BitBtn2->click();
        });
        QCOMPARE(d.exec(), int(QDialog::Rejected));
        QVERIFY(stayed);
        QVERIFY(d.GetNewName().empty());
    }

    void RenameKeepsOrSetsTheStatusAndDoubleClickRenames() {
        Program p;
        p.OpenBlocks({"abc.blk", "LE_12abc.blk", "PO_00001.blk"});
        TVexaForm& v = *p.Vexa;
        v.Grid().SetCell(kColKontrola, 2, "2");  // LE_12abc.blk deselected
        struct Step {
            int row;
            const char *prefix, *number;
            Row expected;
        };
        const Step steps[] = {
            {1, "LE", "00007", {"1", "3", "LE_00007.blk"}},  // "0" -> listed layer: "1" and "3"
            {2, "HR", "12abc", {"1", "2", "HR_12abc.blk"}},  // a deselected block stays deselected
            {2, "HR", "12ABC", {"1", "2", "HR_12ABC.blk"}},  // letter case alone
            {3, "QQ", "1", {"0", "", "QQ_1.blk"}},           // not a listed layer: "0", no selection
            {3, "LE", "00007", {"0", "", "QQ_1.blk"}},       // onto an existing name: refused
            {1, "LE", "00007", {"1", "3", "LE_00007.blk"}},  // the same name: nothing at all
        };
        for (const Step& s : steps) {
            v.BlkStringGrid->SetRow(s.row);
            WhenModal([&] {
                QCOMPARE(p.Prem->LabelOldName->text().toStdString(), v.Grid().Cell(kColVrstva, s.row));
                QCOMPARE(p.Prem->ComboBox1->count(), 6);  // the standard's layer codes
                p.Prem->ComboBox1->setEditText(s.prefix);
                p.Prem->Edit1->setText(s.number);
                p.Prem->BitBtn1->click();
            });
            v.PremenovatButton->click();
            QCOMPARE(v.Grid().Row(s.row), s.expected);
            QVERIFY(fs::is_directory(p.Map.Path() / s.expected[2]));
        }
        QVERIFY(!fs::exists(p.Map.Path() / "abc.blk"));
        QCOMPARE(p.Messages.Shown.size(), size_t(1));
        QCOMPARE(p.Messages.Texts(TMsgType::Warning),
                 std::vector<std::string>{"Blok QQ_1.blk sa nepodarilo premenovať,\r"
                                          "blok alebo súbor s menom LE_00007.blk už existuje."});
        // A double click on a name opens the dialog for that block; on the selection column it toggles.
        QString shownFor;
        WhenModal([&] {
            shownFor = p.Prem->LabelOldName->text();
            p.Prem->BitBtn2->click();
        });
        QTest::mouseDClick(v.BlkStringGrid->viewport(), Qt::LeftButton, {}, p.CellCentre(kColVrstva, 2));
        QCOMPARE(shownFor, QString("HR_12ABC.blk"));
        QVERIFY(fs::exists(p.Map.Path() / "HR_12ABC.blk"));
        shownFor.clear();
        QTest::mouseDClick(v.BlkStringGrid->viewport(), Qt::LeftButton, {}, p.CellCentre(kColKontrola, 1));
        QVERIFY(shownFor.isEmpty());
    }

    void DeleteRemovesTheBlockAndItsRow() {
        Program p;
        const fs::path map = p.Map.Path();
        std::ofstream(map / "LE_00004.blk") << "a plain file";
        p.OpenBlocks({"LE_00001.blk", "LE_00002.blk", "LE_00003.blk"});
        std::ofstream(map / "LE_00002.blk" / ".hidden") << "x";
        fs::permissions(map / "LE_00002.blk" / "info.txt", fs::perms::owner_read, fs::perm_options::replace);
        TVexaForm& v = *p.Vexa;
        // Answered "No": nothing happens.
        v.BlkStringGrid->SetRow(2);
        p.Messages.NoAnswers = 1;
        v.ZmazatButton->click();
        // The question names the block it would delete.
        QCOMPARE(p.Messages.Texts(TMsgType::Question),
                 std::vector<std::string>{(map / "LE_00002.blk").string() +
                                          "\rBlok bude vymazaný z disku.\rSkutočne zmazať?"});
        QVERIFY(fs::exists(map / "LE_00002.blk"));
        QCOMPARE(v.Grid().RowCount(), 4);  // a plain file is no block: not listed
        // "Yes": the middle block goes, the rows keep their order and the next block is current.
        v.ZmazatButton->click();
        QVERIFY(!fs::exists(map / "LE_00002.blk"));
        QCOMPARE(v.Grid().RowCount(), 3);
        QCOMPARE(v.Grid().Cell(kColVrstva, 1), std::string("LE_00001.blk"));
        QCOMPARE(v.Grid().Cell(kColVrstva, 2), std::string("LE_00003.blk"));
        QCOMPARE(v.BlkStringGrid->Row(), 2);
        // The last one leaves an empty row and disables only the delete button; the plain file stays.
        v.BlkStringGrid->SetRow(1);
        for (int i = 0; i < 2; ++i) v.ZmazatButton->click();
        QVERIFY(fs::exists(map / "LE_00004.blk"));
        QVERIFY(v.Grid().HasNoBlock());
        QCOMPARE(Flags("enabled", {v.ZmazatButton, v.PremenovatButton, v.KontrolaButton}), QString("011"));
        QVERIFY(p.Messages.Texts(TMsgType::Warning).empty());
    }

    void KeyboardDrivesMenusButtonsAndTheBlockList() {
        Program p;
        p.OpenBlocks({"LE_00001.blk", "LE_00002.blk"});
        TVexaForm& v = *p.Vexa;
        QVERIFY(QTest::qWaitForWindowActive(&v));
        // Space toggles the current block's selection, as a click on its glyph does.
        v.BlkStringGrid->setFocus();
        v.BlkStringGrid->SetRow(2);
        QCOMPARE(v.Grid().Cell(kColKontrola, 2), std::string("3"));
        QTest::keyClick(v.BlkStringGrid, Qt::Key_Space);
        QCOMPARE(v.Grid().Cell(kColKontrola, 2), std::string("2"));
        QTest::keyClick(v.BlkStringGrid, Qt::Key_Space);
        QCOMPARE(v.Grid().Cell(kColKontrola, 2), std::string("3"));
        QCOMPARE(v.Grid().Cell(kColKontrola, 1), std::string("3"));
        // Enter opens the rename dialog for the current block; Escape closes it with nothing renamed.
        QString shownFor;
        WhenModal([&] {
            shownFor = p.Prem->LabelOldName->text();
            p.Prem->ComboBox1->setEditText("HR");
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
            QVERIFY(!p.Prem->isVisible());
        });
        QTest::keyClick(v.BlkStringGrid, Qt::Key_Return);
        QCOMPARE(shownFor, QString("LE_00002.blk"));
        QVERIFY(fs::exists(p.Map.Path() / "LE_00002.blk"));
        // Delete asks first; "No" keeps the block, "Yes" deletes it.
        p.Messages.NoAnswers = 1;
        QTest::keyClick(v.BlkStringGrid, Qt::Key_Delete);
        QCOMPARE(p.Messages.Texts(TMsgType::Question),
                 std::vector<std::string>{DeleteQuestion((p.Map.Path() / "LE_00002.blk").string())});
        QVERIFY(fs::exists(p.Map.Path() / "LE_00002.blk"));
        QTest::keyClick(v.BlkStringGrid, Qt::Key_Delete);
        QVERIFY(!fs::exists(p.Map.Path() / "LE_00002.blk"));
        QCOMPARE(v.Grid().RowCount(), 2);
        // Alt+letter opens a menu and presses a button; F10 opens the first menu.
        v.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&v));
        QTest::keyClick(v.BlkStringGrid, Qt::Key_M, Qt::AltModifier);
        QTRY_VERIFY(v.MenuMapa->isVisible());
        QTest::keyClick(v.MenuMapa, Qt::Key_Escape);
        QTest::keyClick(v.menuBar(), Qt::Key_Escape);
        QTRY_VERIFY(!v.MenuMapa->isVisible());
        QTest::keyClick(&v, Qt::Key_F10);
        QTRY_COMPARE(v.menuBar()->activeAction(), v.MenuMapa->menuAction());
        // Escape leaves it: the key goes to the menu when it has opened (as it may on a slow
        // machine), then to the bar, as a user's would.
        if (v.MenuMapa->isVisible()) QTest::keyClick(v.MenuMapa, Qt::Key_Escape);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!v.MenuMapa->isVisible());
        v.BlkStringGrid->setFocus();
        p.Messages.NoAnswers = 1;
        QTest::keyClick(&v, Qt::Key_Z, Qt::AltModifier);  // "Zmazať"
        QTRY_COMPARE(p.Messages.Texts(TMsgType::Question).size(), size_t(3));
        QVERIFY(fs::exists(p.Map.Path() / "LE_00001.blk"));
        // Escape closes the error browser too.
        TErrorTable::CreateTemplate((p.Map.Path() / "Chyby.DBF").string());
        bool closed = false;
        WhenModal([&] {
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
            closed = !p.Chyby->isVisible();
        });
        QVERIFY(p.Chyby->ShowModalFor(p.Map.Path().string()));
        QVERIFY(closed);
        // Tab goes from the block list to its buttons.
        v.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&v));
        v.BlkStringGrid->setFocus();
        QTest::keyClick(v.BlkStringGrid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(v.PremenovatButton));
    }

    // The real question box: "Nie" is its default, so Enter keeps what it asks about.
    // Whatever window was opened and closed over it (the browser from "Chyby" > "Otvoriť",
    // the map view, the rename dialog), the map stays open and a check runs on its blocks.
    void TheBlockListSurvivesEveryWindowOpenedAndClosed() {
        Program p;
        p.Dde->Link = false;  // the map view instead of a GIS
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}});
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 7}});
        p.Open(p.Map.Path());
        TVexaForm& v = *p.Vexa;
        const std::vector<Row> rows = p.Rows();
        QCOMPARE(rows.size(), size_t(2));
        p.Dialogs.File = WriteErrorTable(p.Map.Path(), {{-31, "LE_00001.blk", "LE", "B", 6, 1, "bod"}});
        bool browsed = false;
        WhenModal([&] {
            browsed = true;
            p.Chyby->SetCurrentRow(0);
            p.Chyby->MapaBitBtn->click();
            QVERIFY(p.Chyby->MapView() && p.Chyby->MapView()->isVisible());
            p.Chyby->MapView()->close();
            p.Chyby->KoniecBitBtn->click();  // "Zatvor"
        });
        v.MenuChybyOtvorit->trigger();
        QVERIFY(browsed);
        QVERIFY(v.isVisible());
        QCOMPARE(p.Rows(), rows);
        QCOMPARE(v.MapaDir(), p.Map.Path().string() + "/");
        QCOMPARE(v.LabelMapa->text(), QString::fromStdString(p.Map.Path().string()));
        QCOMPARE(Flags("enabled", {v.KontrolaButton, v.SpravaButton, v.PremenovatButton, v.ZmazatButton,
                                   v.MenuMapaZavriet}),
                 QString("11111"));
        // The browser of the same table a second time, then the rename dialog, cancelled.
        WhenModal([&] { p.Chyby->KoniecBitBtn->click(); });
        v.MenuChybyOtvorit->trigger();
        WhenModal([&] { p.Prem->reject(); });
        v.PremenovatButton->click();
        QCOMPARE(p.Rows(), rows);
        // A check runs on both blocks of the list.
        p.Box("BodCBPripustnost")->setChecked(true);
        bool endBrowsed = false;
        WhenModal([&] {
            endBrowsed = true;
            p.Chyby->reject();
        });
        v.KontrolaButton->click();
        const auto info = p.Messages.Texts(TMsgType::Information);
        QVERIFY(!info.empty());
        QVERIFY2(info.back().rfind("Počet chýb: 1 (", 0) == 0, info.back().c_str());
        QVERIFY(endBrowsed);
        QCOMPARE(p.Rows().size(), size_t(2));
    }

    // Ticks, limits, the window's size and the last map come back at the next start, from the
    // settings file the program is given.
    void TheWindowKeepsItsStateFromOneStartToTheNext() {
        TempDir keep, map;
        const std::string ini = (keep.Path() / "vexa.ini").string();
        MakePointBlock(map.Path() / "LE_00001.blk", {{1, 6}});
        {
            Program p(true, {}, ini);
            p.Open(map.Path());
            p.Box("LinCBDlzka")->setChecked(true);
            p.Vexa->LinEditDlzka->setText("0.5");
            p.Box("PloCBPlocha")->setChecked(true);
            p.Vexa->PloEditPlocha->setText("12");
            p.Box("DBCBKontAtr")->setChecked(true);
            p.Vexa->resize(800, 600);
            QVERIFY(p.Vexa->close());
        }
        QVERIFY(fs::exists(ini));
        Program p(true, {}, ini);
        TVexaForm& v = *p.Vexa;
        QCOMPARE(Flags("checked", {p.Box("LinCBDlzka"), p.Box("PloCBPlocha"), p.Box("DBCBKontAtr"),
                                   p.Box("BodCBPripustnost"), v.CBVsetky}),
                 QString("11100"));
        QCOMPARE(v.LinEditDlzka->text(), QString("0.5"));
        QCOMPARE(v.PloEditPlocha->text(), QString("12"));
        QCOMPARE(Flags("enabled", {v.LinEditDlzka, v.PloEditPlocha}), QString("11"));
        QCOMPARE(v.width(), 800);
        QVERIFY(v.Grid().HasNoBlock());  // until the program opens the last map
        v.OpenLastMap();
        QCOMPARE(v.MapaDir(), map.Path().string() + "/");
        QCOMPARE(p.Rows().size(), size_t(1));
        // A last map that is gone is not opened and says nothing.
        QVERIFY(v.close());
        fs::remove_all(map.Path());
        Program later(true, {}, ini);
        later.Vexa->OpenLastMap();
        QVERIFY(later.Vexa->Grid().HasNoBlock());
        QVERIFY(later.Messages.Shown.empty());
    }

    // "Štandard" > "Otvoriť…" and "vexa --standard FILE": the standard shown in LabelStd and kept;
    // one that cannot be opened is refused with its reason and the previous one stays.
    void AStandardOfOnesChoiceIsOpenedAndKept() {
        TempDir keep;
        const std::string ini = (keep.Path() / "vexa.ini").string();
        const std::string other = (keep.Path() / "Iny.mdb").string();
        fs::copy_file(IncludeTrailingDelimiter(VEXA_BIN_DIR) + "StandardGXD.mdb", other);
        const std::string bad = (keep.Path() / "zly.mdb").string();
        std::ofstream(bad) << "not a database";
        {
            Program p(true, {}, ini);
            TVexaForm& v = *p.Vexa;
            QCOMPARE(v.MenuStandard->title(), QString::fromUtf8("&Štandard"));
            QCOMPARE(v.MenuStandardOtvorit->text(), QString::fromUtf8("&Otvoriť…"));
            const std::string first = v.StandardPath();
            QCOMPARE(first, (p.Dir.Path() / "StandardGXD.mdb").string());
            const QString label = v.LabelStd->text();
            QVERIFY(!label.isEmpty());
            p.OpenBlocks({"LE_00001.blk"});
            p.Dialogs.File = bad;
            v.MenuStandardOtvorit->trigger();
            const auto errors = p.Messages.Texts(TMsgType::Error);
            QCOMPARE(errors.size(), size_t(1));
            QVERIFY2(errors[0].rfind("Štandard sa nedá otvoriť\r(" + bad + ")\r", 0) == 0, errors[0].c_str());
            QVERIFY(errors[0].size() > ("Štandard sa nedá otvoriť\r(" + bad + ")\r").size());  // and why
            QCOMPARE(v.StandardPath(), first);
            QCOMPARE(v.LabelStd->text(), label);
            QVERIFY(v.Standard());
            p.Dialogs.File = other;
            v.MenuStandardOtvorit->trigger();
            QCOMPARE(p.Messages.Texts(TMsgType::Error).size(), size_t(1));
            QCOMPARE(v.StandardPath(), other);
            QCOMPARE(v.LabelStd->toolTip(), QString::fromStdString(other));
            QCOMPARE(v.LabelStd->text(), label);  // the same standard's description
            QCOMPARE(p.Rows().size(), size_t(1));  // the map listed again under it
            QVERIFY(v.close());
        }
        {
            Program p(true, {}, ini);
            QCOMPARE(p.Vexa->StandardPath(), other);
            QVERIFY(p.Messages.Shown.empty());
        }
        // The command line's standard wins over the kept one; a bad one is refused, the kept one taken.
        const std::string third = (keep.Path() / "Treti.mdb").string();
        fs::copy_file(other, third);
        {
            Program p(true, {}, ini, third);
            QCOMPARE(p.Vexa->StandardPath(), third);
        }
        Program p(true, {}, ini, bad);
        QCOMPARE(p.Messages.Texts(TMsgType::Error).size(), size_t(1));
        QVERIFY(p.Vexa->Standard());
        QVERIFY(p.Vexa->StandardPath() == other || p.Vexa->StandardPath() == third);
    }

    // The browser's default size shows every button; its size and the column widths are kept
    // to the next display; the code column is shown and stays so after "Skontrolovať znova",
    // with the same columns as before.
    void BrowserKeepsItsColumnsSizeAndButtons() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}});
        p.Open(p.Map.Path());
        p.Box("BodCBPripustnost")->setChecked(true);
        QStringList before, after;
        auto shownColumns = [&] {
            QStringList names;
            QHeaderView* h = p.Chyby->DBGrid->horizontalHeader();
            for (int v = 0; v < h->count(); ++v) {
                const int c = h->logicalIndex(v);
                if (!p.Chyby->DBGrid->isColumnHidden(c))
                    names << p.Chyby->Model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            }
            return names;
        };
        bool allShown = true;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            for (QAbstractButton* b : c.findChildren<QAbstractButton*>()) {
                if (!b->isVisible()) continue;
                const QRect r(b->mapTo(&c, QPoint(0, 0)), b->size());
                if (!c.rect().contains(r)) allShown = false;
            }
            before = shownColumns();
            c.DBGrid->setColumnWidth(1, 123);
            c.resize(900, 400);
            c.SetCurrentRow(0);
            c.ZnovaBitBtn->click();  // the block checked again, the table read anew
            after = shownColumns();
            c.reject();
        });
        p.Vexa->KontrolaButton->click();
        QVERIFY(allShown);
        QVERIFY2(before.contains("Id"), qPrintable(before.join(",")));
        QCOMPARE(before.last(), QString("Chyba"));
        QCOMPARE(after, before);
        // The next display: the size and the width left.
        int width1 = 0;
        QSize size;
        WhenModal([&] {
            width1 = p.Chyby->DBGrid->columnWidth(1);
            size = p.Chyby->size();
            p.Chyby->reject();
        });
        p.Chyby->ShowModalFor(p.Map.Path().string() + "/");
        QCOMPARE(width1, 123);
        QCOMPARE(size, QSize(900, 400));
    }

    // The block filter lists the table's blocks in its order and works with the group filter.
    void BrowserFiltersByBlock() {
        Program p;
        p.OpenBlocks({"LE_00001.blk", "LE_00002.blk"});
        p.Dialogs.File = WriteErrorTable(p.Map.Path(), {
            {-73, "LE_00001.blk", "LE", "L", 1, 5, "zhoda"},
            {-31, "LE_00001.blk", "LE", "B", 6, 1, "bod"},
            {-11, "LE_00002.blk", "LE", "L", 9, 6, "prípustnosť"},
            {-31, "LE_00002.blk", "LE", "B", 6, 2, "bod"},
            {-31, "LE_00002.blk", "LE", "B", 6, 3, "bod"}});
        QStringList items;
        int one = -1, lines = -1, back = -1;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            for (int i = 0; i < c.ComboBox4->count(); ++i) items << c.ComboBox4->itemText(i);
            c.ComboBox4->setCurrentIndex(2);
            c.ComboBox4Change();
            one = c.Model().rowCount();
            c.ComboBox1->setCurrentIndex(1);  // linie, within the block
            c.ComboBox1Change();
            lines = c.Model().rowCount();
            c.ComboBox4->setCurrentIndex(0);
            c.ComboBox4Change();
            back = c.Model().rowCount();
            QCOMPARE(c.FilterExpression(), std::string("Prvok = 'L'"));
            c.reject();
        });
        p.Vexa->MenuChybyOtvorit->trigger();
        QCOMPARE(items, QStringList({QString::fromUtf8("všetky"), "LE_00001.blk", "LE_00002.blk"}));
        QCOMPARE(one, 3);
        QCOMPARE(lines, 1);
        QCOMPARE(back, 2);
    }

    // A block whose name holds a quote is filtered as any other; the filter lists the blocks in
    // the map's order whatever the table's order.
    void BrowserFiltersABlockNamedWithAQuote() {
        Program p;
        p.OpenBlocks({"LE_0'01.blk", "LE_00002.blk"});
        p.Dialogs.File = WriteErrorTable(p.Map.Path(), {
            {-31, "LE_00002.blk", "LE", "B", 6, 1, "bod"},
            {-31, "LE_0'01.blk", "LE", "B", 6, 2, "bod"},
            {-11, "LE_0'01.blk", "LE", "L", 9, 3, "prípustnosť"}});
        QStringList items, listed;
        for (const Row& r : p.Rows()) listed << QString::fromStdString(r[kColVrstva]);
        int quoted = -1, searched = -1, lines = -1;
        std::string expression;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            for (int i = 0; i < c.ComboBox4->count(); ++i) items << c.ComboBox4->itemText(i);
            c.ComboBox4->setCurrentIndex(1);
            c.ComboBox4Change();
            quoted = c.Model().rowCount();
            for (int r = 0; r < c.Model().rowCount(); ++r)
                QCOMPARE(ValueText(c.Model().FieldOf(r, "Blok")), std::string("LE_0'01.blk"));
            c.ComboBox1->setCurrentIndex(1);
            c.ComboBox1Change();
            lines = c.Model().rowCount();
            expression = c.FilterExpression();
            c.ComboBox1->setCurrentIndex(0);
            c.ComboBox1Change();
            c.ComboBox4->setCurrentIndex(0);
            c.ComboBox4Change();
            c.HladatEdit->setText("0'01");
            c.HladatEditChange();
            searched = c.Model().rowCount();
            c.reject();
        });
        p.Vexa->MenuChybyOtvorit->trigger();
        QCOMPARE(listed, QStringList({"LE_0'01.blk", "LE_00002.blk"}));
        QCOMPARE(items, QStringList({QString::fromUtf8("všetky"), "LE_0'01.blk", "LE_00002.blk"}));
        QCOMPARE(quoted, 2);
        QCOMPARE(lines, 1);
        QCOMPARE(expression, std::string("Prvok = 'L' and Blok = 'LE_0''01.blk'"));
        QCOMPARE(searched, 2);
    }

    // The search finds the rows whose text, block or element holds every word typed, letter
    // case and diacritics aside, within the other filters; typing applies it after a pause,
    // Enter at once (the window stays), and the next display starts without it.
    void BrowserSearchesTextBlockAndElement() {
        Program p;
        p.OpenBlocks({"LE_00001.blk", "LE_00002.blk"});
        p.Dialogs.File = WriteErrorTable(p.Map.Path(), {
            {-15, "LE_00001.blk", "LE", "L", 1, 17, "podlimitná dĺžka"},
            {-12, "LE_00001.blk", "LE", "L", 1, 18, "krivka"},
            {-31, "LE_00001.blk", "LE", "B", 6, 17, "neprípustný druh vo vrstve"},
            {-15, "LE_00002.blk", "LE", "L", 1, 117, "podlimitná dĺžka"},
            {-31, "LE_00002.blk", "LE", "B", 6, 3, "neprípustný druh vo vrstve"}});
        auto shown = [&] {
            QStringList r;
            for (int i = 0; i < p.Chyby->Model().rowCount(); ++i)
                r << QString::fromStdString(ValueText(p.Chyby->Model().FieldOf(i, "Blok")).substr(7, 1) + " " +
                                            ValueText(p.Chyby->Model().FieldOf(i, "Prvok")) + ":" +
                                            ValueText(p.Chyby->Model().FieldOf(i, "Cislo")));
            return r;
        };
        std::map<std::string, QStringList> found;
        int before = -1;
        bool stayed = false;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            c.HladatEdit->setFocus();
            QTest::keyClicks(c.HladatEdit, "DLZKA");
            before = c.Model().rowCount();
            QTRY_COMPARE(c.Model().rowCount(), 2);
            found["typed"] = shown();
            QCOMPARE(c.Label4->text(), QString::fromUtf8("Záznam: 1/2"));
            // Enter: at once.
            c.HladatEdit->setText(QString::fromUtf8("b:17"));
            QTest::keyClick(c.HladatEdit, Qt::Key_Return);
            stayed = c.isVisible();
            found["element"] = shown();
            // Two words: both in the row, in any part of it.
            c.HladatEdit->setText(QString::fromUtf8("0002 Dĺžka"));
            QTest::keyClick(c.HladatEdit, Qt::Key_Enter);
            found["words"] = shown();
            // Within the group and the block filters.
            c.HladatEdit->setText("17");
            c.HladatEditChange();
            found["17"] = shown();
            c.ComboBox1->setCurrentIndex(1);  // linie
            c.ComboBox1Change();
            found["17 lines"] = shown();
            c.ComboBox4->setCurrentIndex(1);  // LE_00001.blk
            c.ComboBox4Change();
            found["17 lines LE_00001"] = shown();
            QCOMPARE(c.HladatEdit->text(), QString("17"));
            // Emptied (the clear button's way): the other filters stay.
            c.HladatEdit->clear();
            found["cleared"] = shown();
            c.reject();
        });
        p.Vexa->MenuChybyOtvorit->trigger();
        QCOMPARE(before, 5);
        QCOMPARE(found["typed"], QStringList({"1 L:17", "2 L:117"}));
        QVERIFY(stayed);
        QCOMPARE(found["element"], QStringList({"1 B:17"}));
        QCOMPARE(found["words"], QStringList({"2 L:117"}));
        QCOMPARE(found["17"], QStringList({"1 L:17", "1 B:17", "2 L:117"}));
        QCOMPARE(found["17 lines"], QStringList({"1 L:17", "2 L:117"}));
        QCOMPARE(found["17 lines LE_00001"], QStringList({"1 L:17"}));
        QCOMPARE(found["cleared"], QStringList({"1 L:17", "1 L:18"}));
        QString search = "x";
        int rows = -1;
        WhenModal([&] {
            search = p.Chyby->HladatEdit->text();
            rows = p.Chyby->Model().rowCount();
            p.Chyby->reject();
        });
        p.Vexa->MenuChybyOtvorit->trigger();
        QCOMPARE(search, QString());
        QCOMPARE(rows, 5);
    }

    // Shift+click, Ctrl+click and Ctrl+A (within the filter) select many rows: one question
    // and one reason make an exception of each, delete asks once for all, and in "výnimky"
    // the exceptions selected are removed after one question.
    void BrowserExceptsDeletesAndRemovesManySelectedRows() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}, {2, 6}, {3, 6}, {4, 6}});  // kind 6 is not admitted
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 6}, {2, 6}, {3, 6}});
        p.Open(p.Map.Path());
        p.Box("BodCBPripustnost")->setChecked(true);
        const std::string chyby = (p.Map.Path() / "Chyby.DBF").string();
        const std::string mapDir = p.Map.Path().string() + "/";
        auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
            TChybyForm& c = *p.Chyby;
            const QRect cell = c.DBGrid->visualRect(c.Model().index(row, 1));
            QTest::mouseClick(c.DBGrid->viewport(), Qt::LeftButton, modifiers, cell.center());
        };
        auto elements = [&] {
            QStringList r;
            for (int i = 0; i < p.Chyby->Model().rowCount(); ++i)
                r << QString::fromStdString(ValueText(p.Chyby->Model().FieldOf(i, "Blok")).substr(7, 1) + ":" +
                                            ValueText(p.Chyby->Model().FieldOf(i, "Cislo")));
            return r;
        };
        std::vector<int> picked, filtered, remaining;
        QString counter, question, afterExcept, afterRefusal, afterDelete, exceptionsShown;
        std::string deleteQuestion;
        int asked = -1, deleteQuestions = -1;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            QCOMPARE(c.Model().rowCount(), 7);
            c.DBGrid->setFocus();
            click(0, Qt::NoModifier);
            click(2, Qt::ShiftModifier);    // rows 0 to 2
            click(5, Qt::ControlModifier);  // and row 5
            click(1, Qt::ControlModifier);  // without row 1
            picked = c.SelectedRows();
            counter = c.Label4->text();
            // One question, one reason for the three.
            p.Dialogs.Answer = "značky sú zámerne";
            c.VynimkaBitBtn->click();
            asked = p.Dialogs.Asked;
            question = QString::fromStdString(p.Dialogs.LastQuestion);
            afterExcept = elements().join(" ");
            // Ctrl+A from the block filter's box selects the rows the filter shows, no others.
            c.ComboBox4->setCurrentIndex(2);  // LE_00002.blk
            c.ComboBox4Change();
            // The window active, as under the user's hands (the offscreen platform activates none).
            QApplication::setActiveWindow(&c);
            c.ComboBox4->setFocus();
            QTest::keyClick(c.ComboBox4, Qt::Key_A, Qt::ControlModifier);
            filtered = c.SelectedRows();
            // Deleting many asks first; "Nie" deletes nothing.
            const std::size_t questions = p.Messages.Texts(TMsgType::Question).size();
            p.Messages.NoAnswers = 1;
            c.BitBtn1->click();
            afterRefusal = elements().join(" ");
            c.BitBtn1->click();
            deleteQuestions = static_cast<int>(p.Messages.Texts(TMsgType::Question).size() - questions);
            const std::vector<std::string> asked = p.Messages.Texts(TMsgType::Question);
            if (!asked.empty()) deleteQuestion = asked.back();
            c.ComboBox4->setCurrentIndex(0);
            c.ComboBox4Change();
            afterDelete = elements().join(" ");
            // The exceptions: the search narrows them too; Ctrl+A and Ctrl+click pick two of three.
            c.ComboBox3->setCurrentIndex(3);
            c.ComboBox3Change();
            c.HladatEdit->setText("LE_00002");
            c.HladatEditChange();
            exceptionsShown = elements().join(" ");
            c.HladatEdit->clear();
            QCOMPARE(c.Model().rowCount(), 3);
            c.DBGrid->setFocus();
            QTest::keyClick(c.DBGrid, Qt::Key_A, Qt::ControlModifier);
            click(0, Qt::ControlModifier);
            c.VynimkaBitBtn->click();
            remaining = {c.Model().rowCount()};
            c.KoniecBitBtn->click();
        });
        p.Vexa->KontrolaButton->click();
        QCOMPARE(p.Messages.Texts(TMsgType::Error), std::vector<std::string>{});
        QCOMPARE(picked, (std::vector<int>{0, 2, 5}));
        QCOMPARE(counter, QString::fromUtf8("Záznam: 2/7, vybrané: 3"));
        QCOMPARE(asked, 1);
        QVERIFY2(question.contains(QString::fromUtf8("Jeden dôvod pre všetky vybrané (3).")), qPrintable(question));
        QVERIFY2(question.contains("LE_00001.blk B:1 ") && question.contains("LE_00002.blk B:2 "), qPrintable(question));
        QCOMPARE(afterExcept, QString("1:2 1:4 2:1 2:3"));
        QCOMPARE(filtered, (std::vector<int>{0, 1}));
        QCOMPARE(afterRefusal, QString("2:1 2:3"));
        QCOMPARE(deleteQuestions, 2);
        QCOMPARE(deleteQuestion, std::string("Zmazať vybrané záznamy z tabuľky chýb (2)?"));
        QCOMPARE(afterDelete, QString("1:2 1:4"));
        QCOMPARE(exceptionsShown, QString("2:2"));
        QCOMPARE(p.Messages.Texts(TMsgType::Question).back(), std::string("Zrušiť výnimky vybraných riadkov (2)?"));
        QCOMPARE(remaining, std::vector<int>{1});
        // In the files: the two rows left, the one exception kept with the common reason.
        std::vector<std::string> rows;
        for (const TErrorRecord& r : ReadErrorTable(chyby)) rows.push_back(r.Blok + " " + std::to_string(*r.Cislo));
        QCOMPARE(rows, (std::vector<std::string>{"LE_00001.blk 2", "LE_00001.blk 4"}));
        const std::vector<review::TReviewException> kept = review::LoadExceptions(mapDir);
        QCOMPARE(kept.size(), size_t(1));
        QCOMPARE(kept[0].Block + " " + std::to_string(*kept[0].Number), std::string("LE_00001.blk 1"));
        QCOMPARE(kept[0].Reason, std::string("značky sú zámerne"));
        QVERIFY(kept[0].Fingerprint.size() == 16);
    }

    // A block re-checked from the exceptions, with no rows left in the table, gets its new rows
    // in the map's order, between the blocks before and after it.
    void ARecheckedBlockWithoutRowsTakesItsPlaceInTheMapsOrder() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00001.blk", {{1, 6}});
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 6}});
        MakePointBlock(p.Map.Path() / "LE_00003.blk", {{1, 6}});
        p.Open(p.Map.Path());
        p.Box("BodCBPripustnost")->setChecked(true);
        QStringList items;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            QCOMPARE(c.Model().rowCount(), 3);
            c.SetCurrentRow(1);
            p.Dialogs.Answer = "zámerne";
            c.VynimkaBitBtn->click();
            QCOMPARE(c.Model().rowCount(), 2);
            // The block gains a finding that no exception covers.
            MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 6}, {2, 6}});
            c.ComboBox3->setCurrentIndex(3);
            c.ComboBox3Change();
            QCOMPARE(c.Model().rowCount(), 1);
            c.SetCurrentRow(0);
            c.ZnovaBitBtn->click();
            for (int i = 0; i < c.ComboBox4->count(); ++i) items << c.ComboBox4->itemText(i);
            c.KoniecBitBtn->click();
        });
        p.Vexa->KontrolaButton->click();
        QCOMPARE(p.Messages.Texts(TMsgType::Error), std::vector<std::string>{});
        std::vector<std::string> rows;
        for (const TErrorRecord& r : ReadErrorTable((p.Map.Path() / "Chyby.DBF").string()))
            rows.push_back(r.Blok + " " + std::to_string(*r.Cislo));
        QCOMPARE(rows, (std::vector<std::string>{"LE_00001.blk 1", "LE_00002.blk 2", "LE_00003.blk 1"}));
        QCOMPARE(items, QStringList({QString::fromUtf8("všetky"), "LE_00001.blk", "LE_00002.blk", "LE_00003.blk"}));
    }

    // No Alt letter is taken twice in a window (Qt would only move the focus between the two).
    void EveryMnemonicOfAWindowIsUnique() {
        Program p;
        QCOMPARE(MnemonicClashes(p.Vexa.get()), QStringList());
        QCOMPARE(MnemonicClashes(p.Chyby.get()), QStringList());
        QCOMPARE(MnemonicClashes(p.Prem.get()), QStringList());
        // The two that clashed: "vyber všetky" and "Správa", "Chyby" and "Koniec".
        QCOMPARE(QKeySequence::mnemonic(p.Vexa->SpravaButton->text()), QKeySequence(Qt::ALT | Qt::Key_S));
        QCOMPARE(QKeySequence::mnemonic(p.Vexa->KoniecBitBtn->text()), QKeySequence(Qt::ALT | Qt::Key_I));
        // The walk finds a clash when there is one.
        auto* extra = new QPushButton("&Mapa 2", p.Vexa->centralWidget());
        QCOMPARE(MnemonicClashes(p.Vexa.get()).size(), 1);
        delete extra;
    }

    // "vyber všetky" ticks the repairs too; a run that would rewrite the tables or delete
    // their fields asks first and does nothing on "Nie". The other repairs ask nothing.
    void DestructiveRepairsAskBeforeTheRun() {
        Program p;
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 7}});
        p.Open(p.Map.Path());
        TVexaForm& v = *p.Vexa;
        v.CBVsetky->setChecked(true);
        QVERIFY(p.Box("DBCBNepZmaz")->isChecked() && p.Box("DBCBUprStrukt")->isChecked());
        p.Messages.NoAnswers = 1;
        v.KontrolaButton->click();
        const auto asked = p.Messages.Texts(TMsgType::Question);
        QCOMPARE(asked.size(), size_t(1));
        QCOMPARE(asked[0], RepairsQuestion(option::DBUprStrukt | option::DBNepZmaz));
        QVERIFY(asked[0].find("zmaže v tabuľkách atribútov položky, ktoré štandard nepozná") != std::string::npos);
        QVERIFY(asked[0].find("prepíše tabuľky atribútov") != std::string::npos);
        const std::string last = "\rPokračovať?";
        QVERIFY(asked[0].size() > last.size() && asked[0].compare(asked[0].size() - last.size(), last.size(), last) == 0);
        QCOMPARE(p.Messages.Shown.size(), size_t(1));  // no run: no end box
        QVERIFY(!fs::exists(p.Map.Path() / "Chyby.DBF"));
        QVERIFY(v.KontrolaButton->isEnabled() && !v.Running());
        // Without the two, no question; with "nepovinné položky zmazať" alone it names only that.
        v.CBVsetky->setChecked(false);
        p.Box("DBCBUsporiadat")->setChecked(true);  // reorders, deletes nothing
        p.Box("BodCBPripustnost")->setChecked(true);
        p.Messages.Shown.clear();
        QTimer closer;  // the browser at the end, should the run find anything
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (p.Chyby->isVisible()) p.Chyby->reject();
        });
        closer.start(20);
        v.KontrolaButton->click();
        closer.stop();
        QVERIFY(p.Messages.Texts(TMsgType::Question).empty());
        QCOMPARE(p.Messages.Texts(TMsgType::Information).size(), size_t(1));
        QCOMPARE(RepairsQuestion(option::DBNepZmaz),
                 std::string("Kontrola zmaže v tabuľkách atribútov položky, ktoré štandard nepozná "
                             "(nepovinné položky zmazať).\rPokračovať?"));
        QCOMPARE(RepairsQuestion(option::DBKontAtr | option::DBUsporiadat), std::string());
    }

    // Unclean blocks: the box keeps its text and offers "OK pre všetky", after which the run
    // goes on alone; the end box names every block left out with why. The next run asks again.
    void UncleanBlocksCanBeLetGoForTheWholeRun() {
        Program p;
        for (const char* name : {"LE_00001.blk", "LE_00003.blk", "LE_00004.blk"})
            MakePointBlock(p.Map.Path() / name, {{2, 6}, {1, 6}});  // not in number order: not cleaned
        MakePointBlock(p.Map.Path() / "LE_00002.blk", {{1, 7}});
        MakeBlockDir(p.Map.Path() / "xy.blk");  // a name that does not conform
        p.Open(p.Map.Path());
        p.Box("BodCBPripustnost")->setChecked(true);
        p.Messages.OkForAll = true;
        p.Vexa->KontrolaButton->click();
        QCOMPARE(p.Messages.Texts(TMsgType::WarningForAll),
                 std::vector<std::string>{"Blok\r" + p.Map.Path().string() +
                                          "/LE_00001.blk\rnebol vyčistený, nebude kontrolovaný"});
        const std::string end = "Skontrolované bloky: 1, vynechané: 4.\r" + LeftOutMessage("xy.blk") +
                                "\rBlok LE_00001.blk nebude kontrolovaný: nebol vyčistený"
                                "\rBlok LE_00003.blk nebude kontrolovaný: nebol vyčistený"
                                "\rBlok LE_00004.blk nebude kontrolovaný: nebol vyčistený";
        QCOMPARE(p.Messages.Texts(TMsgType::Information), std::vector<std::string>{end});
        // OK alone: each unclean block has its box.
        p.Messages.Shown.clear();
        p.Messages.OkForAll = false;
        p.Vexa->KontrolaButton->click();
        QCOMPARE(p.Messages.Texts(TMsgType::WarningForAll).size(), size_t(3));
        QCOMPARE(p.Messages.Texts(TMsgType::Information), std::vector<std::string>{end});
    }

    // The Qt box: OK is the default, "OK pre všetky" answers for the rest of the run.
    void WarningBoxOffersOkForAll() {
        for (bool all : {false, true}) {
            QString text, second;
            WhenModal([&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                text = box->text();
                auto* button = box->findChild<QPushButton*>("OkForAll");
                QVERIFY(button);
                second = button->text();
                QVERIFY(box->defaultButton() == box->button(QMessageBox::Ok));
                if (all)
                    button->click();
                else
                    QTest::keyClick(box, Qt::Key_Return);
            });
            TQtMessageBoxes boxes;
            const TMsgResult r = boxes.Show(TMsgType::WarningForAll, NotCleanedMessage("/m/LE_00009.blk"));
            QVERIFY(r == (all ? TMsgResult::OkForAll : TMsgResult::Ok));
            QCOMPARE(text, QString::fromUtf8("Blok\n/m/LE_00009.blk\nnebol vyčistený, nebude kontrolovaný"));
            QCOMPARE(second, QString::fromUtf8("OK pre všetky"));
        }
    }

    void QuestionBoxDefaultsToNo() {
        QString shown;
        bool noIsDefault = false;
        WhenModal([&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shown = box->text();
            noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
            QTest::keyClick(box, Qt::Key_Return);
        });
        TQtMessageBoxes boxes;
        QVERIFY(boxes.Show(TMsgType::Question, DeleteQuestion("/m/LE_00002.blk")) == TMsgResult::No);
        QVERIFY(noIsDefault);
        QCOMPARE(shown, QString::fromUtf8("/m/LE_00002.blk\nBlok bude vymazaný z disku.\nSkutočne zmazať?"));
    }

    void QtStandardDialogsSpeakSlovak() {
        const QString file = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_sk.qm";
        if (!QFile::exists(file))
            QSKIP(qPrintable("Qt's Slovak translation is not installed (" + file +
                             "; Debian package qt6-translations-l10n): the standard dialogs stay English"));
        Program p;  // the main window loads the translation
        QMessageBox box(QMessageBox::Question, "Vexa", "?", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QString::fromUtf8("Án&o"));
        QCOMPARE(box.button(QMessageBox::No)->text(), QString::fromUtf8("&Nie"));
        QFileDialog dialog(nullptr, "x", QDir::tempPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8("Zrušiť"));
        QCOMPARE(buttons->button(QDialogButtonBox::Open)->text(), QString::fromUtf8("&Otvoriť"));
        dialog.setFileMode(QFileDialog::Directory);
        QCOMPARE(buttons->button(QDialogButtonBox::Open)->text(), QString::fromUtf8("&Vybrať"));

        // The colour dialog: no English caption left on any of its buttons and labels.
        QColorDialog colours;
        colours.setOption(QColorDialog::DontUseNativeDialog);
        QStringList texts;
        for (auto* b : colours.findChildren<QAbstractButton*>()) texts << b->text();
        for (auto* l : colours.findChildren<QLabel*>()) texts << l->text();
        QVERIFY(texts.contains(QString::fromUtf8("Farba z &obrazovky")));
        for (const char* english : {"&Pick Screen Color", "Cancel", "&Basic colors", "Hu&e:", "&Add to Custom Colors"})
            QVERIFY2(!texts.contains(QString::fromLatin1(english)), english);

        // The file dialog's kind column: a folder is "Priečinok", not "Folder".
        TempDir dir;
        fs::create_directories(dir.Path() / "LE_00001.blk");
        QFileDialog details(nullptr, "x", QString::fromStdString(dir.Path().string()));
        details.setOption(QFileDialog::DontUseNativeDialog);
        details.setViewMode(QFileDialog::Detail);
        auto* model = details.findChild<QFileSystemModel*>();
        QVERIFY(model);
        const QModelIndex folder = model->index(QString::fromStdString((dir.Path() / "LE_00001.blk").string()));
        QTRY_VERIFY(folder.isValid() && !model->data(folder.siblingAtColumn(2)).toString().isEmpty());
        QCOMPARE(model->data(folder.siblingAtColumn(2)).toString(), QString::fromUtf8("Priečinok"));
        // Its columns take the width of their texts: a header or a date is never cut.
        MakeFileDialogReadable(details);
        details.show();
        auto* view = details.findChild<QTreeView*>("treeView");
        QVERIFY(view);
        for (int c = 0; c < model->columnCount(); ++c) {
            const QString header = model->headerData(c, Qt::Horizontal).toString();
            QTRY_VERIFY2(view->columnWidth(c) >= view->fontMetrics().horizontalAdvance(header), qPrintable(header));
        }
        const QString date = model->data(folder.siblingAtColumn(3)).toString();
        QTRY_VERIFY2(view->columnWidth(3) >= view->fontMetrics().horizontalAdvance(date), qPrintable(date));
    }

    void ErrorTableChooserFindsChybyDbfInAnyCase() {
        Program p;
        p.OpenBlocks({"LE_00001.blk"});
        TVexaForm& v = *p.Vexa;
        TErrorTable::CreateTemplate((p.Map.Path() / "Chyby.DBF").string());
        // Cancelled: the proposed name is the file as spelt on disk, and the filter takes every case.
        v.MenuChybyOtvorit->trigger();
        QCOMPARE(p.Dialogs.LastOpenName, (p.Map.Path() / "Chyby.DBF").string());
        const QString pattern = QString::fromStdString(p.Dialogs.LastOpenFilter).section('|', 1);
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
        for (const char* name : {"Chyby.DBF", "chyby.dbf", "CHYBY.Dbf"}) QVERIFY2(re.match(name).hasMatch(), name);
        QVERIFY(!re.match("Chyby.txt").hasMatch());
        QCOMPARE(v.LabelMapa->text(), QString::fromStdString(p.Map.Path().string()));  // the map stays open
        // With Qt's own dialog: it opens in the map with "Chyby.DBF" chosen and can be confirmed.
        TempDir other;
        TErrorTable::CreateTemplate((other.Path() / "Chyby.DBF").string());
        TQtDialogs real;
        p.Env.Dialogs = &real;
        QString browserMap;
        bool accepted = false;
        WhenModal([&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->selectedFiles().value(0),
                     QString::fromStdString((p.Map.Path() / "Chyby.DBF").string()));
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            QVERIFY(buttons);
            QTRY_VERIFY(buttons->button(QDialogButtonBox::Open)->isEnabled());
            dialog->selectFile(QString::fromStdString((other.Path() / "Chyby.DBF").string()));
            WhenModal([&] {
                browserMap = v.LabelMapa->text();
                p.Chyby->reject();
            });
            accepted = true;
            static_cast<QDialog*>(dialog)->accept();
        });
        v.MenuChybyOtvorit->trigger();
        QVERIFY(accepted);
        // While the browser shows, "Mapa:" names the directory whose table is open; the map
        // stays open beneath and is back once the browser closes.
        QCOMPARE(browserMap, QString::fromStdString(other.Path().string()));
        QCOMPARE(v.LabelMapa->text(), QString::fromStdString(p.Map.Path().string()));
        QCOMPARE(p.Rows().size(), size_t(1));
        QCOMPARE(v.MapaDir(), p.Map.Path().string() + "/");
    }

    void BrowserGrowsWithItsWindowAndShowsLongTextsWhole() {
        Program p;
        p.OpenBlocks({"LE_00001.blk"});
        const std::string longText = std::string(findingtext::DuplicateLines) +
                                     "101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115";
        std::vector<TErrorRecord> findings;
        for (int i = 1; i <= 30; ++i) findings.push_back({-14, "LE_00001.blk", "LE", "L", 1, i, longText});
        const std::string table = WriteErrorTable(p.Map.Path(), findings);
        QSize before, gridBefore, gridAfter;
        int lastSectionRight = 0, viewportWidth = 0, textColumn = -1;
        QString tip, textTitle;
        WhenModal([&] {
            TChybyForm& c = *p.Chyby;
            before = c.size();
            gridBefore = c.DBGrid->size();
            c.resize(before + QSize(400, 300));
            QTRY_VERIFY(c.DBGrid->width() > gridBefore.width());
            gridAfter = c.DBGrid->size();
            QHeaderView* h = c.DBGrid->horizontalHeader();
            textColumn = h->logicalIndex(h->count() - 1);
            lastSectionRight = h->sectionViewportPosition(textColumn) + h->sectionSize(textColumn);
            viewportWidth = c.DBGrid->viewport()->width();
            tip = c.Model().data(c.Model().index(0, textColumn), Qt::ToolTipRole).toString();
            textTitle = c.Model().headerData(textColumn, Qt::Horizontal, Qt::DisplayRole).toString();
            c.reject();
        });
        p.Dialogs.File = table;
        p.Vexa->MenuChybyOtvorit->trigger();
        QVERIFY(before.width() >= 619 && before.height() >= 243);  // at least its familiar size
        QVERIFY(gridAfter.width() >= gridBefore.width() + 400);
        QVERIFY(gridAfter.height() >= gridBefore.height() + 300);
        QCOMPARE(textTitle, QString("Chyba"));
        QCOMPARE(lastSectionRight, viewportWidth);  // the columns fill the width
        QCOMPARE(tip, QString::fromStdString(longText));
    }

    void RunShowsTheBlockNumberAndStops() {
        Program p;
        // More blocks than the run prepares ahead of its workers (two per worker), so that
        // a stop in the first block leaves the last ones unbegun on any machine.
        const int count = std::max(8, 2 * static_cast<int>(DefaultJobs()) + 2);
        auto name = [](int i) { return QString("LE_%1.blk").arg(i, 5, 10, QChar('0')); };
        auto label = [&](int i) { return QString("blok %1 z %2: %3").arg(i).arg(count).arg(name(i)); };
        for (int i = 1; i <= count; ++i) MakePointBlock(p.Map.Path() / name(i).toStdString(), {{1, 7}, {2, 7}});
        p.Open(p.Map.Path());
        TVexaForm& v = *p.Vexa;
        p.Box("BodCBPripustnost")->setChecked(true);
        QVERIFY(!v.ZastavitButton->isEnabled());
        // A whole run: every block is announced in order, the stop button is on only meanwhile.
        std::set<QString> labels;
        bool stopEnabled = true;
        p.App.OnProcess = [&] {
            labels.insert(v.LabelBlok->text());
            stopEnabled = stopEnabled && v.ZastavitButton->isEnabled();
        };
        v.KontrolaButton->click();
        for (int i = 1; i <= count; ++i) QVERIFY2(labels.count(label(i)), qPrintable(label(i)));
        QVERIFY(stopEnabled);
        QVERIFY(!v.ZastavitButton->isEnabled());
        QVERIFY(v.LabelBlok->text().isEmpty());
        QCOMPARE(p.Messages.Texts(TMsgType::Information), std::vector<std::string>{"Bez chýb."});
        // Stopped during the first block: the run ends early and says so, never "Bez chýb.".
        p.Messages.Shown.clear();
        std::set<QString> afterStop;
        bool clicked = false;
        p.App.OnProcess = [&] {
            if (clicked) afterStop.insert(v.LabelBlok->text());
            if (!clicked && v.LabelBlok->text() == label(1)) {
                QTest::mouseClick(v.ZastavitButton, Qt::LeftButton);
                clicked = true;
                QVERIFY(!v.ZastavitButton->isEnabled());
            }
        };
        v.KontrolaButton->click();
        p.App.OnProcess = nullptr;
        QVERIFY(clicked);
        // Blocks already begun are finished; the last ones are never reached.
        QVERIFY(!afterStop.count(label(count)));
        const auto info = p.Messages.Texts(TMsgType::Information);
        QCOMPARE(info.size(), size_t(1));
        bool stoppedEarly = false;
        for (int k = 1; k < count; ++k) stoppedEarly = stoppedEarly || info[0] == StoppedMessage(k);
        QVERIFY2(stoppedEarly, info[0].c_str());
        QVERIFY(!v.ZastavitButton->isEnabled());
        QVERIFY(v.KontrolaButton->isEnabled());
    }

    void OptionTooltipsNameWhatEachCheckFinds() {
        Program p;
        TVexaForm& v = *p.Vexa;
        std::map<TCheckGroup, QGroupBox*> groups{{TCheckGroup::Lines, v.LinGroupBox},
                                                 {TCheckGroup::Points, v.BodGroupBox},
                                                 {TCheckGroup::Texts, v.TxbGroupBox},
                                                 {TCheckGroup::Areas, v.PloGroupBox},
                                                 {TCheckGroup::Databases, v.DBGroupBox}};
        // Every finding kind is named, with its code, on the box that asks for it.
        for (const auto& f : FindingCodes) {
            QCheckBox* box = nullptr;
            for (QCheckBox* cb : groups[f.Group]->findChildren<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly))
                if (cb->property("tag").toInt() == f.Bit) box = cb;
            QVERIFY2(box, f.What);
            QVERIFY2(box->toolTip().contains(QString::fromUtf8(f.What)), f.What);
            QVERIFY2(box->toolTip().contains(QString::number(f.Code)), f.What);
        }
        // Every box has one; the lines' admissibility tells that it decides a line alone.
        for (auto [group, box] : groups)
            for (QCheckBox* cb : box->findChildren<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly))
                QVERIFY2(!cb->toolTip().isEmpty(), qPrintable(cb->objectName()));
        QVERIFY(p.Box("LinCBPripustnost")->toolTip().contains(QString::fromUtf8("Rozhoduje o línii sama")));
        QVERIFY(!p.Box("BodCBPripustnost")->toolTip().contains(QString::fromUtf8("Rozhoduje")));
    }

    void MapViewShowsFindingsWithoutAGis() {
        Program p;
        p.Dde->Link = false;  // as on a system where no GIS runs
        constexpr double x0 = -500000, y0 = -1200000;
        testkit::BlockSpec content;
        testkit::GridSpec grid;
        grid.Columns = 4;
        grid.Rows = 1;
        grid.X0 = x0;
        grid.Y0 = y0;
        testkit::AddAreaGrid(content, grid);  // lines 1-13, stands 1-4
        const std::vector<std::pair<double, double>> line = {{x0 + 100, y0 + 300}, {x0 + 160, y0 + 340}, {x0 + 220, y0 + 300}};
        content.AddLine(14, 21, line);
        testkit::LinkLines(content);
        content.Lines[static_cast<std::size_t>(grid.LeftLine(0, 3) - 1)].PrevA = 1;  // a stand's ring breaks
        content.Points = {testkit::MakePoint(1, 5, x0 + 300, y0 + 300), testkit::MakePoint(2, 5, x0 + 303, y0 + 302)};
        testkit::WriteBlock(p.Map.Path() / "LE_00001.blk", content);
        testkit::WriteBlock(p.Map.Path() / "LE_00002.blk", testkit::BlockSpec{});
        std::int32_t broken = 0;
        {
            TBlk blk;
            blk.Open((p.Map.Path() / "LE_00001.blk").string(), TBlkOpenMode::ReadOnly);
            for (std::int32_t stand = 1; stand <= 4 && !broken; ++stand)
                if (ElementPlace(blk, egArea, stand).Shape == TPlaceShape::AreaPoint) broken = stand;
        }
        QVERIFY2(broken != 0, "the broken link leaves every ring closed");
        const std::string table = WriteErrorTable(p.Map.Path(), {
            {-12, "LE_00001.blk", "LE", "L", 21, 14, "krivka"},
            {-31, "LE_00001.blk", "LE", "B", 5, 1, "bod"},
            {-31, "LE_00001.blk", "LE", "B", 5, 2, "bod"},
            {-72, "LE_00001.blk", "LE", "P", 1, broken, "topológia"},
            {-11, "LE_00002.blk", "LE", "L", 1, 1, "prázdny blok"}});
        p.Dialogs.File = table;
        p.Dialogs.Colour = QColor(0, 0, 255);
        bool seen = false;
        WhenModal([&] {
            seen = true;
            TChybyForm& c = *p.Chyby;
            QVERIFY(!c.MapView());  // until asked for, the browser alone
            c.SetCurrentRow(0);
            c.BitBtn2->click();  // no GIS link: the map view comes forward instead
            QVERIFY(c.MapView() && c.MapView()->isVisible());
            QVERIFY(p.Messages.Shown.empty());
            TMapViewForm& m = *c.MapView();
            const render::TViewport& v = m.View().Viewport();
            auto image = [&] { return m.Canvas()->grab().toImage(); };
            auto colourAt = [&](double x, double y) {
                return image().pixelColor(int(std::lround(v.PixelX(x))), int(std::lround(v.PixelY(y))));
            };
            auto extent = [&](const QColor& colour) {
                const QImage i = image();
                int xa = i.width(), ya = i.height(), xb = -1, yb = -1;
                for (int y = 0; y < i.height(); ++y)
                    for (int x = 0; x < i.width(); ++x)
                        if (i.pixelColor(x, y) == colour) {
                            xa = std::min(xa, x), xb = std::max(xb, x);
                            ya = std::min(ya, y), yb = std::max(yb, y);
                        }
                return xb < 0 ? QSize() : QSize(xb - xa, yb - ya);
            };
            QCOMPARE(m.Canvas()->width(), int(v.Width()));
            for (auto [x, y] : line) QCOMPARE(colourAt(x, y), QColor(Qt::red));
            // The window shows the core's picture with its labels: the marked line's number
            // in red where the view says it is.
            {
                const QImage shown = image();
                QVERIFY(!m.View().Labels().empty());
                const render::TMapLabel& own = m.View().Labels().front();
                QVERIFY(own.Marked);
                int red = 0;
                for (int y = own.Y0; y < own.Y1; ++y)
                    for (int x = own.X0; x < own.X1; ++x) red += shown.pixelColor(x, y) == QColor(Qt::red);
                QVERIFY(red > 10);
                // The status line names the element and what the length check measures.
                QVERIFY2(m.StatusLabel()->text().contains(QString::fromUtf8(" m")) &&
                             m.StatusLabel()->text().contains(QString::fromUtf8("dĺžka ")),
                         qPrintable(m.StatusLabel()->text()));
            }
            // The scale buttons: half and back to one halve and double the drawn line (the
            // three-pixel pen adds two pixels); measured without the labels and the legend,
            // which are red too.
            m.View().Style().Labels = m.View().Style().Legend = false;
            c.BitBtn4->click();
            const QSize half = extent(Qt::red);
            c.BitBtn3->click();
            const QSize one = extent(Qt::red);
            QVERIFY2(std::abs((one.width() - 2) - 2 * (half.width() - 2)) <= 2, qPrintable(QString("%1 %2").arg(one.width()).arg(half.width())));
            QVERIFY(one.width() > 100);
            // The colour chosen in the browser marks the element.
            QTest::mouseClick(c.Label1, Qt::LeftButton);
            QCOMPARE(colourAt(line[1].first, line[1].second), QColor(0, 0, 255));
            // A row chosen moves the view to its finding: the point in the middle.
            c.SetCurrentRow(1);
            QCOMPARE(image().pixelColor(v.Width() / 2, v.Height() / 2), QColor(0, 0, 255));
            QVERIFY(m.windowTitle().contains("LE_00001.blk B 1"));
            // Positioning off: the view stays while the next finding is in sight.
            c.LupaSButt->click();
            const TPlaceXY centre = v.Centre();
            const double mpp = v.MetresPerPixel();
            c.SetCurrentRow(2);
            QCOMPARE(v.Centre(), centre);
            QCOMPARE(v.MetresPerPixel(), mpp);
            QCOMPARE(colourAt(x0 + 303, y0 + 302), QColor(0, 0, 255));
            QCOMPARE(colourAt(x0 + 300, y0 + 300), QColor(153, 153, 255));
            c.LupaSButt->click();  // on again: shown at scale one
            // The wheel zooms about the cursor, a drag pans, the cursor's place is shown.
            const QPointF middle(v.Width() / 2.0, v.Height() / 2.0);
            const double before = v.MetresPerPixel();
            QWheelEvent wheel(middle, m.Canvas()->mapToGlobal(middle), QPoint(), QPoint(0, 240), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(m.Canvas(), &wheel);
            QCOMPARE(v.MetresPerPixel(), before / 2);
            const TPlaceXY held = v.Centre();
            QTest::mousePress(m.Canvas(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
            QTest::mouseMove(m.Canvas(), QPoint(140, 100));
            QTest::mouseRelease(m.Canvas(), Qt::LeftButton, Qt::NoModifier, QPoint(140, 100));
            QCOMPARE(v.Centre().X, held.X - 40 * v.MetresPerPixel());
            const TPlaceXY under = v.WorldAt(140, 100);
            QVERIFY(m.findChild<QLabel*>("MapCoords")->text().startsWith(CoordinatesText(under.X, under.Y)));
            // A stand whose ring does not close: its reference point marked.
            c.SetCurrentRow(3);
            QCOMPARE(m.View().MarkedPlace().Shape, TPlaceShape::AreaPoint);
            QCOMPARE(image().pixelColor(v.Width() / 2, v.Height() / 2), QColor(0, 0, 255));
            // An empty block still draws; the element is said to be missing.
            c.SetCurrentRow(4);
            QCOMPARE(m.StatusLabel()->text(), QString::fromUtf8("Prvok nebol nájdený."));
            QCOMPARE(extent(QColor(0, 0, 255)), QSize());
            QVERIFY(!image().isNull());
            // With a GIS link the show button asks the GIS; the open map view follows the row.
            p.Dde->Link = true;
            c.SetCurrentRow(1);
            c.BitBtn2->click();
            QCOMPARE(p.Messages.Texts(TMsgType::Information).back(), std::string("Spusti Topol 6.x."));
            QCOMPARE(image().pixelColor(v.Width() / 2, v.Height() / 2), QColor(0, 0, 255));
            c.KoniecBitBtn->click();
        });
        p.Vexa->MenuChybyOtvorit->trigger();
        QVERIFY(seen);
        QVERIFY(p.Chyby->MapView() && !p.Chyby->MapView()->isVisible());  // closed with the browser
    }
};

QTEST_MAIN(TFormsTest)
#include "FormsTest.moc"

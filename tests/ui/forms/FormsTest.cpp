// The three windows driven for real on the offscreen platform: a map is opened,
// rows toggled, options ticked, a check run started, findings filtered and
// deleted, blocks renamed and deleted. Message boxes and dialogs are scripted.
#include "kit/BlockKit.h"
#include "standard/BlkStandardGXD.h"
#include "standard/ErrorTable.h"
#include "ui/forms/Chyby_f.h"
#include "ui/forms/ErrorTableModel.h"
#include "ui/forms/Premen_f.h"
#include "ui/forms/QtPlatform.h"
#include "ui/forms/Vexa_f.h"

#include "common/FileNames.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QElapsedTimer>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <deque>
#include <set>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace vexa;
namespace fs = std::filesystem;
using testkit::TempDir;

namespace {

struct ScriptedMessages : IMessageBoxes {
    std::vector<std::pair<TMsgType, std::string>> Shown;
    std::deque<TMsgResult> Answers;  // for questions; Yes when none is left
    std::function<void()> OnShow;
    TMsgResult Show(TMsgType type, const std::string& text) override {
        Shown.emplace_back(type, text);
        if (OnShow) OnShow();
        if (type != TMsgType::Question) return TMsgResult::Ok;
        if (Answers.empty()) return TMsgResult::Yes;
        const TMsgResult a = Answers.front();
        Answers.pop_front();
        return a;
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
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&) override {
        return File;
    }
    std::optional<QColor> ChooseColour(const QColor&) override { return Colour; }
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

// One program: its directory (standard and template), the three windows in creation order.
struct Program {
    explicit Program(bool withStandard = true, const std::vector<std::string>& tools = {}) {
        const std::string bin = IncludeTrailingDelimiter(VEXA_BIN_DIR);
        if (withStandard) fs::copy_file(bin + "StandardGXD.mdb", Dir.Path() / "StandardGXD.mdb");
        fs::copy_file(bin + "Chyby.dbf", Dir.Path() / "Chyby.dbf");
        for (const auto& tool : tools) {
            std::ofstream(Dir.Path() / tool) << "#!/bin/sh\ntouch \"$0.ran\"\n";
            fs::permissions(Dir.Path() / tool, fs::perms::owner_all);
        }
        Env.ProgramDir = IncludeTrailingDelimiter(Dir.Path().string());
        Env.Messages = &Messages;
        Env.Dialogs = &Dialogs;
        Env.App = &App;
        Env.Dde = Dde.get();
        Env.System = System.get();
        Vexa = std::make_unique<TVexaForm>(Env);
        App.AddWindow(Vexa.get());
        Chyby = std::make_unique<TChybyForm>(Env, Vexa.get(), [this] { return Vexa->MapaDir(); }, Vexa.get());
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
    std::vector<TBlockGrid::TRow> Rows() {
        std::vector<TBlockGrid::TRow> rows;
        for (int r = 1; r < Vexa->Grid().RowCount(); ++r) rows.push_back(Vexa->Grid().Row(r));
        return rows;
    }
    QPoint CellCentre(int col, int row) { return Vexa->BlkStringGrid->CellRect(col, row).center(); }
    QColor PixelAt(QPoint p) { return Vexa->BlkStringGrid->viewport()->grab().toImage().pixelColor(p); }

    TempDir Dir;
    ScriptedMessages Messages;
    ScriptedDialogs Dialogs;
    WatchedApp App{Messages};
    std::unique_ptr<IDdeClient> Dde = CreateNativeDdeClient();
    std::unique_ptr<ISystemWindows> System = CreateNativeSystemWindows();
    TFormsEnv Env;
    std::unique_ptr<TVexaForm> Vexa;
    std::unique_ptr<TChybyForm> Chyby;
    std::unique_ptr<TPremForm> Prem;
};

void MakeBlockDir(const fs::path& dir) {
    fs::create_directories(dir);
    std::ofstream(dir / "info.txt") << "blok\n";
}

// A block with one point of the given kind and number order.
void MakePointBlock(const fs::path& dir, std::vector<std::pair<int, int>> numberKind) {
    testkit::BlockSpec content;
    for (auto [number, kind] : numberKind)
        content.Points.push_back(testkit::MakePoint(number, static_cast<std::int16_t>(kind), 100 + number, 200));
    testkit::WriteBlock(dir, content);
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

const QColor kGreen(181, 232, 191), kRed(247, 201, 198);

} // namespace

class TFormsTest : public QObject {
    Q_OBJECT
private slots:
    void StartUpBuildsTheWindowAndTheStandard();
    void StartUpWithoutStandardReportsItAndAllowsNoMap();
    void ToolMenuFollowsTheProgramFiles();
    void OpeningAMapListsNormalisedBlocks();
    void AMapWithoutBlocksLeavesOneEmptyRow();
    void ClickOnTheCheckBoxGlyphTogglesTheRow();
    void VyberVsetkyTicksEveryOption();
    void LimitEditsFilterKeysAndNormalise();
    void CheckRunWithFindingsOpensTheBrowser();
    void CheckRunWithoutFindingsAndAnUncleanBlock();
    void CheckRunShowsTheBlockAndOneGaugePerPass();
    void AnErrorEndsTheRunAndIsShown();
    void BrowserFiltersCountsAndScales();
    void TheSampleMapRunsIntoTheBrowser();
    void RenameDialogComposesTheName();
    void RenameKeepsOrSetsTheStatus();
    void DeleteRemovesTheBlockAndItsRow();
    void DoubleClickOnANameRenames();
    void InfoBoxAndSiblingTool();
};

void TFormsTest::StartUpBuildsTheWindowAndTheStandard() {
    Program p;
    TVexaForm& v = *p.Vexa;
    QCOMPARE(v.windowTitle(), QString::fromUtf8("Kontrola súľadu BLK GXD so štandardom WQS"));
    QCOMPARE(v.size(), QSize(642, 513));
    QVERIFY(v.Standard() != nullptr);
    QCOMPARE(v.LabelStd->text().toStdString(), v.Standard()->Description());
    QVERIFY(!v.LabelStd->text().isEmpty());
    QVERIFY(p.Messages.Shown.empty());
    QVERIFY(v.LabelMapa->text().isEmpty());
    QVERIFY(v.LabelKontr->text().isEmpty());
    QCOMPARE(v.MLabel->text(), QString("Mapa:"));
    QVERIFY(v.MenuMapaOtvorit->isEnabled());
    for (QObject* c : std::initializer_list<QObject*>{v.KontrolaButton, v.PremenovatButton, v.ZmazatButton})
        QVERIFY(!static_cast<QWidget*>(c)->isEnabled());
    QVERIFY(!v.MenuMapaZavriet->isEnabled());
    QCOMPARE(v.Grid().RowCount(), 2);
    QCOMPARE(v.Grid().Row(0), (TBlockGrid::TRow{"názov", "kontrola", "vrstva"}));
    QCOMPARE(v.LinEditDlzka->text(), QString("0"));
    QVERIFY(!v.LinEditDlzka->isEnabled());
    QCOMPARE(v.PloEditPlocha->text(), QString("0"));
    QCOMPARE(v.LinGroupBox->title(), QString::fromUtf8(" Línie "));
    QCOMPARE(v.DBGroupBox->title(), QString::fromUtf8(" Interná DB "));
    for (QProgressBar* g : {v.LinGauge, v.BodGauge, v.TxbGauge, v.PloGauge}) QVERIFY(!g->isVisible());
    // Seventeen option boxes, none ticked, tags as the screen rows.
    int boxes = 0;
    for (QGroupBox* g : {static_cast<QGroupBox*>(v.LinGroupBox), static_cast<QGroupBox*>(v.BodGroupBox),
                         static_cast<QGroupBox*>(v.TxbGroupBox), static_cast<QGroupBox*>(v.PloGroupBox),
                         static_cast<QGroupBox*>(v.DBGroupBox)})
        for (QCheckBox* cb : g->findChildren<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly)) {
            ++boxes;
            QVERIFY(!cb->isChecked());
        }
    QCOMPARE(boxes, 17);
    QCOMPARE(v.findChild<QCheckBox*>("LinCBPloZhoda")->property("tag").toInt(), 32);
    QCOMPARE(v.findChild<QCheckBox*>("LinCBDlzka")->property("tag").toInt(), 16);
    QCOMPARE(v.findChild<QCheckBox*>("LinCBDlzka")->text(), QString::fromUtf8("dlžka <="));
    QCOMPARE(v.findChild<QCheckBox*>("DBCBNepZmaz")->property("tag").toInt(), 8);
    // The error browser and the rename dialog as created.
    QCOMPARE(p.Chyby->windowTitle(), QString("Chyby"));
    QCOMPARE(p.Chyby->size(), QSize(619, 243));
    QVERIFY(p.Chyby->LupaSButt->isChecked());
    QCOMPARE(p.Chyby->Scale(), 1.0);
    QCOMPARE(p.Chyby->KoniecBitBtn->text(), QString("Zatvor"));
    QCOMPARE(p.Prem->windowTitle(), QString::fromUtf8("Nové meno BLK"));
    QCOMPARE(p.Prem->height(), 118);
    QCOMPARE(p.App.AppWindows().size(), size_t(3));
}

void TFormsTest::StartUpWithoutStandardReportsItAndAllowsNoMap() {
    Program p(false);
    QVERIFY(p.Vexa->Standard() == nullptr);
    QCOMPARE(p.Messages.Shown.size(), size_t(1));
    QCOMPARE(p.Messages.Shown[0].first, TMsgType::Error);
    QVERIFY(!p.Messages.Shown[0].second.empty());
    QVERIFY(p.Vexa->LabelStd->text().isEmpty());
    QVERIFY(!p.Vexa->MenuMapaOtvorit->isEnabled());
    QVERIFY(p.Vexa->MenuChybyOtvorit->isEnabled());
    // Even a map given directly is refused with the standard's "not open" text.
    TempDir map;
    MakeBlockDir(map.Path() / "LE_00001.blk");
    p.Vexa->OpenMap(map.Path().string());
    QCOMPARE(p.Messages.Shown.back().second, std::string("Štandard nebol otvorený."));
    QVERIFY(!p.Vexa->KontrolaButton->isEnabled());
}

void TFormsTest::ToolMenuFollowsTheProgramFiles() {
    {
        Program p;
        QVERIFY(!p.Vexa->MenuNastroje->menuAction()->isVisible());
    }
    {
        Program p(true, {"Ostrel.exe"});
        QVERIFY(p.Vexa->MenuNastroje->menuAction()->isVisible());
        QVERIFY(!p.Vexa->MenuVyhladavanie->menuAction()->isVisible());
        QVERIFY(p.Vexa->MenuPrezeracPlo->isVisible());
    }
    {
        Program p(true, {"Velder.exe"});
        QVERIFY(p.Vexa->MenuVyhladavanie->menuAction()->isVisible());
        QVERIFY(!p.Vexa->MenuPodlaCisla->isVisible());
        QVERIFY(p.Vexa->MenuPodlaDruhu->isVisible());
        QVERIFY(!p.Vexa->MenuPrezeracPlo->isVisible());
    }
}

void TFormsTest::OpeningAMapListsNormalisedBlocks() {
    Program p;
    TempDir map;
    MakeBlockDir(map.Path() / "le_00001.blk");
    MakeBlockDir(map.Path() / "SL_Adm01.BLK");
    MakeBlockDir(map.Path() / "SL_Axy01.blk");
    MakeBlockDir(map.Path() / "x_1.blk");
    MakeBlockDir(map.Path() / "abc.blk");
    MakeBlockDir(map.Path() / "QQ_00001.blk");
    MakeBlockDir(map.Path() / "other");
    p.Open(map.Path());
    QCOMPARE(p.Dialogs.LastStartDir, std::string());
    QCOMPARE(p.Vexa->LabelMapa->text().toStdString(), map.Path().string());
    QCOMPARE(p.Vexa->MapaDir(), map.Path().string() + "/");
    const std::vector<TBlockGrid::TRow> expected = {
        {"0", "", "abc.blk"},        {"1", "3", "LE_00001.blk"}, {"0", "", "QQ_00001.blk"},
        {"1", "3", "SL_ADM01.blk"}, {"1", "3", "SL_Axy01.blk"}, {"0", "", "x_1.blk"},
    };
    QCOMPARE(p.Rows(), expected);
    QVERIFY(fs::is_directory(map.Path() / "LE_00001.blk"));  // the entry took the listed name
    QVERIFY(!fs::exists(map.Path() / "le_00001.blk"));
    QVERIFY(p.Vexa->KontrolaButton->isEnabled());
    QVERIFY(p.Vexa->PremenovatButton->isEnabled());
    QVERIFY(p.Vexa->ZmazatButton->isEnabled());
    QVERIFY(p.Vexa->MenuMapaZavriet->isEnabled());
    // Colours of the name cells: non-conforming light red, selected light green.
    QCOMPARE(p.PixelAt(p.CellCentre(kColVrstva, 1) + QPoint(40, 0)), kRed);
    QCOMPARE(p.PixelAt(p.CellCentre(kColVrstva, 2) + QPoint(40, 0)), kGreen);
    // The chooser starts in the open map next time.
    p.Dialogs.Directory.reset();
    p.Vexa->MenuMapaOtvorit->trigger();
    QCOMPARE(p.Dialogs.LastStartDir, map.Path().string() + "/");
    QCOMPARE(p.Rows().size(), size_t(6));  // cancelled: nothing changed
    // Closing the map.
    p.Vexa->MenuMapaZavriet->trigger();
    QCOMPARE(p.Vexa->Grid().RowCount(), 2);
    QVERIFY(p.Vexa->Grid().HasNoBlock());
    QVERIFY(p.Vexa->MapaDir().empty());
    QCOMPARE(p.Vexa->LabelMapa->text().toStdString(), map.Path().string());
    QVERIFY(!p.Vexa->KontrolaButton->isEnabled());
    QVERIFY(!p.Vexa->MenuMapaZavriet->isEnabled());
}

void TFormsTest::AMapWithoutBlocksLeavesOneEmptyRow() {
    Program p;
    TempDir map;
    MakeBlockDir(map.Path() / "notablock");
    p.Open(map.Path());
    QCOMPARE(p.Vexa->Grid().RowCount(), 2);
    QVERIFY(p.Vexa->Grid().HasNoBlock());
    QVERIFY(!p.Vexa->KontrolaButton->isEnabled());
    QVERIFY(!p.Vexa->ZmazatButton->isEnabled());
    QVERIFY(!p.Vexa->MenuMapaZavriet->isEnabled());
    p.Vexa->BlkStringGrid->clearFocus();
    QCOMPARE(p.PixelAt(p.CellCentre(kColVrstva, 1)), p.Vexa->palette().color(QPalette::Base));
}

void TFormsTest::ClickOnTheCheckBoxGlyphTogglesTheRow() {
    Program p;
    TempDir map;
    MakeBlockDir(map.Path() / "LE_00001.blk");
    MakeBlockDir(map.Path() / "abc.blk");
    p.Open(map.Path());
    // Row 2 is LE_00001.blk ("1", "3").
    QCOMPARE(p.Vexa->Grid().Cell(kColKontrola, 2), std::string("3"));
    QWidget* vp = p.Vexa->BlkStringGrid->viewport();
    const QRect cell = p.Vexa->BlkStringGrid->CellRect(kColKontrola, 2);
    QTest::mouseClick(vp, Qt::LeftButton, {}, cell.center());
    QCOMPARE(p.Vexa->Grid().Cell(kColKontrola, 2), std::string("2"));
    QCOMPARE(p.PixelAt(p.CellCentre(kColVrstva, 2) + QPoint(60, 0)), kRed);
    QVERIFY(p.Vexa->Grid().RowsToCheck().empty());
    // Outside the image rectangle (but inside the cell) nothing changes.
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(cell.left() + 1, cell.center().y()));
    QCOMPARE(p.Vexa->Grid().Cell(kColKontrola, 2), std::string("2"));
    QTest::mouseClick(vp, Qt::LeftButton, {}, cell.center());
    QCOMPARE(p.Vexa->Grid().Cell(kColKontrola, 2), std::string("3"));
    QCOMPARE(p.PixelAt(p.CellCentre(kColVrstva, 2) + QPoint(60, 0)), kGreen);
    // The glyph of a selected row is drawn in the cell: the ticked box differs from the empty one.
    const QImage ticked = vp->grab(cell).toImage();
    QTest::mouseClick(vp, Qt::LeftButton, {}, cell.center());
    QVERIFY(vp->grab(cell).toImage() != ticked);
    // A non-conforming row has no selection to toggle.
    QTest::mouseClick(vp, Qt::LeftButton, {}, p.CellCentre(kColKontrola, 1));
    QCOMPARE(p.Vexa->Grid().Cell(kColKontrola, 1), std::string());
}

void TFormsTest::VyberVsetkyTicksEveryOption() {
    Program p;
    TVexaForm& v = *p.Vexa;
    QTest::mouseClick(v.CBVsetky, Qt::LeftButton, {}, QPoint(8, v.CBVsetky->height() / 2));
    QVERIFY(v.CBVsetky->isChecked());
    QCOMPARE(TVexaForm::GroupBoxMask(v.LinGroupBox), std::uint16_t(63));
    QCOMPARE(TVexaForm::GroupBoxMask(v.BodGroupBox), std::uint16_t(3));
    QCOMPARE(TVexaForm::GroupBoxMask(v.TxbGroupBox), std::uint16_t(3));
    QCOMPARE(TVexaForm::GroupBoxMask(v.PloGroupBox), std::uint16_t(7));
    QCOMPARE(TVexaForm::GroupBoxMask(v.DBGroupBox), std::uint16_t(15));
    QVERIFY(v.LinEditDlzka->isEnabled());
    QVERIFY(v.PloEditPlocha->isEnabled());
    QTest::mouseClick(v.CBVsetky, Qt::LeftButton, {}, QPoint(8, v.CBVsetky->height() / 2));
    for (QGroupBox* g : {static_cast<QGroupBox*>(v.LinGroupBox), static_cast<QGroupBox*>(v.DBGroupBox)})
        QCOMPARE(TVexaForm::GroupBoxMask(g), std::uint16_t(0));
    QVERIFY(!v.LinEditDlzka->isEnabled());
    QVERIFY(!v.PloEditPlocha->isEnabled());
    // A single box: the limit edit follows its check box.
    v.PloCBPlocha->setChecked(true);
    QVERIFY(v.PloEditPlocha->isEnabled());
    QCOMPARE(TVexaForm::GroupBoxMask(v.PloGroupBox), std::uint16_t(4));
}

void TFormsTest::LimitEditsFilterKeysAndNormalise() {
    Program p;
    TVexaForm& v = *p.Vexa;
    QVERIFY(QTest::qWaitForWindowActive(&v));
    v.LinCBDlzka->setChecked(true);
    v.LinEditDlzka->clear();
    QTest::keyClicks(v.LinEditDlzka, "1.2.3");
    QCOMPARE(v.LinEditDlzka->text(), QString("1.23"));
    QTest::keyClicks(v.LinEditDlzka, "-a,");
    QCOMPARE(v.LinEditDlzka->text(), QString("1.23"));
    v.LinEditDlzka->setFocus();
    v.CBVsetky->setFocus();  // leaving the edit
    QCOMPARE(v.LinEditDlzka->text(), QString("1.23"));
    v.LinEditDlzka->setFocus();
    v.LinEditDlzka->selectAll();
    QTest::keyClick(v.LinEditDlzka, Qt::Key_Backspace);
    QCOMPARE(v.LinEditDlzka->text(), QString());
    v.CBVsetky->setFocus();
    QCOMPARE(v.LinEditDlzka->text(), QString("0"));
    v.LinEditDlzka->setFocus();
    v.LinEditDlzka->selectAll();
    QTest::keyClicks(v.LinEditDlzka, "0.50");
    v.CBVsetky->setFocus();
    QCOMPARE(v.LinEditDlzka->text(), QString("0.5"));
    v.PloCBPlocha->setChecked(true);
    v.PloEditPlocha->selectAll();
    QTest::keyClicks(v.PloEditPlocha, "12.");
    v.CBVsetky->setFocus();
    QCOMPARE(v.PloEditPlocha->text(), QString("12"));
}

void TFormsTest::CheckRunWithFindingsOpensTheBrowser() {
    Program p;
    TempDir map;
    MakePointBlock(map.Path() / "LE_00001.blk", {{1, 6}, {2, 7}});  // kind 6 is not admitted in LE
    MakePointBlock(map.Path() / "LE_00002.blk", {{1, 6}});
    p.Open(map.Path());
    TVexaForm& v = *p.Vexa;
    v.Grid().SetCell(kColKontrola, 2, "2");  // LE_00002.blk deselected: not examined
    v.findChild<QCheckBox*>("BodCBPripustnost")->setChecked(true);
    bool seen = false;
    WhenModal([&] {
        seen = true;
        TChybyForm& c = *p.Chyby;
        QVERIFY(c.isVisible());
        QVERIFY(!v.isVisible());  // the main window is hidden while the browser is shown
        QVERIFY(v.Running());
        QVERIFY(!v.KontrolaButton->isEnabled());
        QVERIFY(!v.MenuMapaZavriet->isEnabled());
        QVERIFY(!v.close());  // the window stays while the run goes on
        QCOMPARE(c.Model().rowCount(), 1);
        QCOMPARE(ValueText(c.Model().FieldOf(0, "Id")), std::string("-31"));
        QCOMPARE(ValueText(c.Model().FieldOf(0, "Prvok")), std::string("B"));
        QCOMPARE(ValueText(c.Model().FieldOf(0, "Cislo")), std::string("1"));
        QVERIFY(c.DBGrid->isColumnHidden(0));
        QCOMPARE(c.Label4->text(), QString::fromUtf8("Záznam: 1/1"));
        QVERIFY(!c.ComboBox2->isEnabled());
        QVERIFY(c.BitBtn1->isEnabled());
        c.KoniecBitBtn->click();
    });
    v.KontrolaButton->click();
    QVERIFY(seen);
    QVERIFY(v.isVisible());
    QVERIFY(!v.Running());
    QVERIFY(v.KontrolaButton->isEnabled());
    QVERIFY(v.MenuMapaZavriet->isEnabled());
    QVERIFY(v.LabelKontr->text().isEmpty());
    QVERIFY(!v.LinGauge->isVisible());
    QVERIFY(fs::exists(map.Path() / "Chyby.DBF"));
    QVERIFY(p.Messages.Shown.empty());
    // The working table was started afresh: a second run finds the same one finding again.
    WhenModal([&] {
        QCOMPARE(p.Chyby->Model().rowCount(), 1);
        p.Chyby->reject();
    });
    v.KontrolaButton->click();
}

void TFormsTest::CheckRunWithoutFindingsAndAnUncleanBlock() {
    Program p;
    TempDir map;
    MakePointBlock(map.Path() / "LE_00001.blk", {{2, 6}, {1, 6}});  // not in number order: not cleaned
    MakePointBlock(map.Path() / "LE_00002.blk", {{1, 7}});
    p.Open(map.Path());
    p.Vexa->findChild<QCheckBox*>("BodCBPripustnost")->setChecked(true);
    std::vector<QString> captions;
    p.Messages.OnShow = [&] { captions.push_back(p.Vexa->LabelKontr->text()); };
    p.Vexa->KontrolaButton->click();
    QCOMPARE(p.Messages.Texts(TMsgType::Warning),
             std::vector<std::string>{"Blok\r" + map.Path().string() + "/LE_00001.blk\rnebol vyčistený, nebude kontrolovaný"});
    QCOMPARE(p.Messages.Texts(TMsgType::Information), std::vector<std::string>{"Bez chýb."});
    QCOMPARE(captions.back(), QString());  // emptied before the final message
    QVERIFY(!fs::exists(map.Path() / "Chyby.DBF"));
    QVERIFY(p.Vexa->KontrolaButton->isEnabled());
}

void TFormsTest::CheckRunShowsTheBlockAndOneGaugePerPass() {
    Program p;
    TempDir map;
    MakePointBlock(map.Path() / "LE_00001.blk", {{1, 7}, {2, 7}, {3, 7}});
    p.Open(map.Path());
    TVexaForm& v = *p.Vexa;
    v.findChild<QCheckBox*>("BodCBPripustnost")->setChecked(true);
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
    v.KontrolaButton->click();
    p.App.OnProcess = nullptr;
    QVERIFY(seen.count("LE_00001.blk | BodGauge 3"));
    for (const auto& s : seen) QVERIFY2(s.rfind("LE_00001.blk | ", 0) == 0, s.c_str());
    QCOMPARE(p.Messages.Texts(TMsgType::Information), std::vector<std::string>{"Bez chýb."});
    QVERIFY(!v.BodGauge->isVisible());
    QVERIFY(v.LabelKontr->text().isEmpty());
    QCOMPARE(p.Rows().size(), size_t(1));  // the map stayed open
    QVERIFY(v.MenuMapaZavriet->isEnabled());
}

void TFormsTest::AnErrorEndsTheRunAndIsShown() {
    Program p;
    TempDir map;
    MakePointBlock(map.Path() / "LE_00002.blk", {{1, 6}});
    std::ofstream(map.Path() / "LE_00001.blk") << "a file, not a block directory";
    p.Open(map.Path());
    QCOMPARE(p.Rows().size(), size_t(2));
    p.Vexa->findChild<QCheckBox*>("BodCBPripustnost")->setChecked(true);
    p.Vexa->KontrolaButton->click();
    // The first block cannot be opened: the run ends with the block store's message; the
    // second block is not examined and nothing is handed over.
    QCOMPARE(p.Messages.Shown.size(), size_t(1));
    QCOMPARE(p.Messages.Shown[0].first, TMsgType::Error);
    QVERIFY(!p.Messages.Shown[0].second.empty());
    QVERIFY(!fs::exists(map.Path() / "Chyby.DBF"));
    QVERIFY(!p.Vexa->Running());
    QVERIFY(p.Vexa->KontrolaButton->isEnabled());
    QVERIFY(p.Vexa->LabelKontr->text().isEmpty());
}

void TFormsTest::BrowserFiltersCountsAndScales() {
    Program p;
    TempDir map;
    MakeBlockDir(map.Path() / "LE_00001.blk");
    p.Open(map.Path());
    const std::string table = (map.Path() / "Chyby.DBF").string();
    TErrorTable::CreateTemplate(table);
    {
        TErrorTable t(table);
        TErrorTableGuard guard(t);
        t.Append({-73, "LE_00001.blk", "LE", "L", 1, 5, "zhoda"});
        t.Append({-11, "LE_00001.blk", "LE", "L", 9, 6, "prípustnosť"});
        t.Append({-31, "LE_00001.blk", "LE", "B", 6, 1, "bod"});
        t.Append({-91, "LE_00001.blk", std::nullopt, "L", std::nullopt, std::nullopt, "databáza"});
    }
    p.Dialogs.File = (map.Path() / "other.dbf").string();
    p.Dialogs.Colour = QColor(0, 128, 255);
    bool seen = false;
    WhenModal([&] {
        seen = true;
        TChybyForm& c = *p.Chyby;
        TVexaForm& v = *p.Vexa;
        // The map was closed; the browser's directory is the table's.
        QVERIFY(!v.MenuMapaZavriet->isEnabled());
        QVERIFY(v.Grid().HasNoBlock());
        QCOMPARE(v.MapaDir(), map.Path().string() + "/");
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
        QCOMPARE(c.ChybyTable().Filter(), std::string("Prvok = 'L'"));
        QCOMPARE(c.Model().rowCount(), 3);
        c.ComboBox2->setFocus();
        for (int i = 0; i < 5; ++i) QTest::keyClick(c.ComboBox2, Qt::Key_Down);
        QCOMPARE(c.ComboBox2->currentText(), QString::fromUtf8("zhoda plôch"));
        QCOMPARE(c.ChybyTable().Filter(), std::string("Id = -73 and Prvok = 'L'"));
        QCOMPARE(c.Model().rowCount(), 1);
        QCOMPARE(ValueText(c.Model().FieldOf(0, "Id")), std::string("-73"));
        // Group "texty": three types; no finding.
        c.ComboBox1->setCurrentIndex(3);
        c.ComboBox1Change();
        QCOMPARE(c.ComboBox2->count(), 3);
        QCOMPARE(c.Model().rowCount(), 0);
        QVERIFY(c.Label4->text().isEmpty());
        // Back to "všetky": no filter, type box disabled.
        c.ComboBox1->setCurrentIndex(0);
        c.ComboBox1Change();
        QVERIFY(!c.ChybyTable().Filtered());
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
        QVERIFY(!c.BitBtn3->isEnabled());
        QVERIFY(!c.BitBtn4->isEnabled());
        c.BitBtn5->click();
        QVERIFY(!c.LupaSButt->isChecked());
        QCOMPARE(c.Scale(), 1.0);
        // A finding without an element number is not shown.
        const size_t before = p.Messages.Shown.size();
        c.SetCurrentRow(3);
        c.BitBtn2->click();
        QCOMPARE(p.Messages.Shown.size(), before);
        // Colour.
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
        QVERIFY(!c.BitBtn1->isEnabled());
        QVERIFY(!c.BitBtn2->isEnabled());
        QVERIFY(!c.DBNavigator1->isEnabled());
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
    QCOMPARE(p.Vexa->MapaDir(), empty.Path().string() + "/");
}

void TFormsTest::TheSampleMapRunsIntoTheBrowser() {
    if (!fs::is_directory(VEXA_SAMPLE_MAP)) QSKIP("the sample map is not built");
    Program p;
    TempDir copy;
    const fs::path map = copy.Path() / "map";
    fs::copy(VEXA_SAMPLE_MAP, map, fs::copy_options::recursive);
    p.Open(map);
    QVERIFY(p.Rows().size() >= 2);
    QVERIFY(!p.Vexa->Grid().RowsToCheck().empty());
    for (const char* name : {"LinCBPripustnost", "BodCBPripustnost", "TxbCBPripustnost", "PloCBPripustnost"})
        p.Vexa->findChild<QCheckBox*>(name)->setChecked(true);
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
}

void TFormsTest::RenameDialogComposesTheName() {
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
        d.BitBtn1->click();
    });
    QCOMPARE(d.exec(), int(QDialog::Accepted));
    QCOMPARE(d.GetNewName(), std::string("LE_12aB.blk"));
    // Each display starts empty; an empty number part cancels.
    WhenModal([&] {
        QVERIFY(d.ComboBox1->currentText().isEmpty());
        QVERIFY(d.Edit1->text().isEmpty());
        d.ComboBox1->setCurrentIndex(0);
        d.BitBtn1->click();
    });
    QCOMPARE(d.exec(), int(QDialog::Rejected));
    QVERIFY(d.GetNewName().empty());
}

void TFormsTest::RenameKeepsOrSetsTheStatus() {
    Program p;
    TempDir map;
    MakeBlockDir(map.Path() / "abc.blk");
    MakeBlockDir(map.Path() / "LE_12abc.blk");
    MakeBlockDir(map.Path() / "PO_00001.blk");
    p.Open(map.Path());
    TVexaForm& v = *p.Vexa;
    auto renameTo = [&](int row, const char* prefix, const char* number) {
        v.BlkStringGrid->SetRow(row);
        WhenModal([&] {
            QCOMPARE(p.Prem->LabelOldName->text().toStdString(), v.Grid().Cell(kColVrstva, row));
            QCOMPARE(p.Prem->ComboBox1->count(), 6);  // the standard's layer codes
            p.Prem->ComboBox1->setEditText(prefix);
            p.Prem->Edit1->setText(number);
            p.Prem->BitBtn1->click();
        });
        v.PremenovatButton->click();
    };
    // "0" -> listed layer: "1" and "3".
    renameTo(1, "LE", "00007");
    QCOMPARE(v.Grid().Row(1), (TBlockGrid::TRow{"1", "3", "LE_00007.blk"}));
    QVERIFY(fs::is_directory(map.Path() / "LE_00007.blk"));
    QVERIFY(!fs::exists(map.Path() / "abc.blk"));
    // A deselected block renamed to another listed layer stays deselected; case-only rename.
    v.Grid().SetCell(kColKontrola, 2, "2");
    renameTo(2, "HR", "12abc");
    QCOMPARE(v.Grid().Row(2), (TBlockGrid::TRow{"1", "2", "HR_12abc.blk"}));
    renameTo(2, "HR", "12ABC");
    QCOMPARE(v.Grid().Row(2), (TBlockGrid::TRow{"1", "2", "HR_12ABC.blk"}));
    QVERIFY(fs::is_directory(map.Path() / "HR_12ABC.blk"));
    // Not a listed layer: "0" and no selection.
    renameTo(3, "QQ", "1");
    QCOMPARE(v.Grid().Row(3), (TBlockGrid::TRow{"0", "", "QQ_1.blk"}));
    // Onto an existing name: refused with the warning, nothing changes.
    renameTo(3, "LE", "00007");
    QCOMPARE(p.Messages.Texts(TMsgType::Warning),
             std::vector<std::string>{"Blok sa nepodarilo premenovať,\rpravdepodobne je používaný."});
    QCOMPARE(v.Grid().Row(3), (TBlockGrid::TRow{"0", "", "QQ_1.blk"}));
    QVERIFY(fs::is_directory(map.Path() / "QQ_1.blk"));
    // The same name: nothing happens at all.
    renameTo(1, "LE", "00007");
    QCOMPARE(v.Grid().Row(1), (TBlockGrid::TRow{"1", "3", "LE_00007.blk"}));
    QCOMPARE(p.Messages.Shown.size(), size_t(1));
}

void TFormsTest::DeleteRemovesTheBlockAndItsRow() {
    Program p;
    TempDir map;
    MakeBlockDir(map.Path() / "LE_00001.blk");
    MakeBlockDir(map.Path() / "LE_00002.blk");
    MakeBlockDir(map.Path() / "LE_00003.blk");
    std::ofstream(map.Path() / "LE_00002.blk" / ".hidden") << "x";
    fs::permissions(map.Path() / "LE_00002.blk" / "info.txt", fs::perms::owner_read, fs::perm_options::replace);
    std::ofstream(map.Path() / "LE_00004.blk") << "a plain file";
    p.Open(map.Path());
    TVexaForm& v = *p.Vexa;
    // Answered "No": nothing happens.
    v.BlkStringGrid->SetRow(2);
    p.Messages.Answers = {TMsgResult::No};
    v.ZmazatButton->click();
    QCOMPARE(p.Messages.Texts(TMsgType::Question), std::vector<std::string>{"Blok bude vymazaný z disku.\rSkutočne zmazať?"});
    QVERIFY(fs::exists(map.Path() / "LE_00002.blk"));
    QCOMPARE(v.Grid().RowCount(), 5);
    // "Yes": the middle block goes, the rows keep their order and the next block is current.
    v.ZmazatButton->click();
    QVERIFY(!fs::exists(map.Path() / "LE_00002.blk"));
    QCOMPARE(v.Grid().RowCount(), 4);
    QCOMPARE(v.Grid().Cell(kColVrstva, 1), std::string("LE_00001.blk"));
    QCOMPARE(v.Grid().Cell(kColVrstva, 2), std::string("LE_00003.blk"));
    QCOMPARE(v.BlkStringGrid->Row(), 2);
    // A plain file is not a block directory: no question, nothing happens.
    v.BlkStringGrid->SetRow(3);
    const size_t questions = p.Messages.Texts(TMsgType::Question).size();
    v.ZmazatButton->click();
    QCOMPARE(p.Messages.Texts(TMsgType::Question).size(), questions);
    QVERIFY(fs::exists(map.Path() / "LE_00004.blk"));
    fs::remove(map.Path() / "LE_00004.blk");
    // Delete the rest; the last one leaves an empty row and disables only the delete button.
    v.ZmazatButton->click();  // row 3 names a missing entry now: nothing
    QCOMPARE(v.Grid().RowCount(), 4);
    v.BlkStringGrid->SetRow(1);
    v.ZmazatButton->click();
    v.ZmazatButton->click();
    QCOMPARE(v.Grid().RowCount(), 2);
    QCOMPARE(v.Grid().Cell(kColVrstva, 1), std::string("LE_00004.blk"));
    // Put the plain-file row away by closing and reopening on one block.
    MakeBlockDir(map.Path() / "LE_00009.blk");
    p.Open(map.Path());
    QCOMPARE(v.Grid().RowCount(), 2);
    v.ZmazatButton->click();
    QVERIFY(v.Grid().HasNoBlock());
    QVERIFY(!v.ZmazatButton->isEnabled());
    QVERIFY(v.PremenovatButton->isEnabled());
    QVERIFY(v.KontrolaButton->isEnabled());
    QVERIFY(p.Messages.Texts(TMsgType::Warning).empty());
}

void TFormsTest::DoubleClickOnANameRenames() {
    Program p;
    TempDir map;
    MakeBlockDir(map.Path() / "LE_00001.blk");
    MakeBlockDir(map.Path() / "LE_00002.blk");
    p.Open(map.Path());
    QString shownFor;
    WhenModal([&] {
        shownFor = p.Prem->LabelOldName->text();
        p.Prem->BitBtn2->click();
    });
    QTest::mouseDClick(p.Vexa->BlkStringGrid->viewport(), Qt::LeftButton, {}, p.CellCentre(kColVrstva, 2));
    QCOMPARE(shownFor, QString("LE_00002.blk"));
    QVERIFY(fs::exists(map.Path() / "LE_00002.blk"));
    // On the selection column a double click does not rename (it toggles like a click).
    shownFor.clear();
    QTest::mouseDClick(p.Vexa->BlkStringGrid->viewport(), Qt::LeftButton, {}, p.CellCentre(kColKontrola, 1));
    QVERIFY(shownFor.isEmpty());
}

void TFormsTest::InfoBoxAndSiblingTool() {
    Program p(true, {"Quarn.exe"});
    p.Vexa->SBInfo->click();
    QCOMPARE(p.Messages.Texts(TMsgType::Information),
             std::vector<std::string>{"Kontrola súľadu BLK GXD so štandardom WQS\rverzia 1.1"});
    QVERIFY(p.Vexa->MenuPodlaCisla->isVisible());
    p.Vexa->MenuPodlaCisla->trigger();
    QTRY_VERIFY(fs::exists(p.Dir.Path() / "Quarn.exe.ran"));
    fs::remove(p.Dir.Path() / "Quarn.exe");
    p.Vexa->MenuPodlaCisla->trigger();  // gone: nothing happens, no message
    QCOMPARE(p.Messages.Shown.size(), size_t(1));
}

QTEST_MAIN(TFormsTest)
#include "FormsTest.moc"

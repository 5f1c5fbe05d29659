#include "ui/forms/Vexa_f.h"

#include "common/Companions.h"
#include "common/FileNames.h"
#include "common/SysError.h"
#include "standard/BlkStandardGXD.h"
#include "standard/StringList.h"
#include "run/BlockList.h"
#include "ui/BlockRename.h"
#include "ui/DirTree.h"
#include "ui/GridRules.h"
#include "ui/GroupMask.h"
#include "ui/LimitEdit.h"
#include "run/OptionMasks.h"
#include "run/RunOutputs.h"
#include "standard/StandardFiles.h"
#include "ui/SiblingTools.h"
#include "report/RunReport.h"
#include "review/RunReview.h"
#include "ui/forms/Chyby_f.h"
#include "ui/forms/Glyphs.h"
#include "ui/forms/Premen_f.h"
#include "standard/FindingKinds.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>
#include <clocale>
#include <filesystem>

namespace vexa {

// --- TOptionGroupBox ------------------------------------------------------------------

TOptionGroupBox::TOptionGroupBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

void TOptionGroupBox::SetGauge(QProgressBar* gauge) {
    FGauge = gauge;
    PlaceGauge();
}

void TOptionGroupBox::resizeEvent(QResizeEvent* e) {
    QGroupBox::resizeEvent(e);
    PlaceGauge();
}

void TOptionGroupBox::PlaceGauge() {
    if (!FGauge) return;
    const int captionEnd = 8 + fontMetrics().horizontalAdvance(title()) + 10;
    const int h = std::max(6, fontMetrics().height() / 2);
    FGauge->setGeometry(captionEnd, (fontMetrics().height() - h) / 2 + 1, std::max(10, width() - captionEnd - 8), h);
}

// --- TLimitEdit ---------------------------------------------------------------------------

void TLimitEdit::keyPressEvent(QKeyEvent* e) {
    char32_t key = 0;
    if (e->key() == Qt::Key_Backspace)
        key = kBackspace;
    else if (!e->text().isEmpty())
        key = e->text().toUcs4().value(0, 0);
    // Keys that type nothing (arrows, Delete, Tab, Enter) are not filtered.
    if (key == 0 || key == U'\t' || key == U'\r' || key == U'\n' || key == 27 || key == 127) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    if (!LimitKeyAccepted(key, text().toStdString())) {
        QApplication::beep();
        e->accept();
        return;
    }
    if (LimitKeyTyped(key) != key) {  // the decimal comma, shown as "."
        insert(QString(QChar(static_cast<char16_t>(LimitKeyTyped(key)))));
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TLimitEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    emit Exited();
}

// --- TVexaForm -----------------------------------------------------------------------------

namespace {

// What a check box finds and the codes it writes, from the table of finding kinds.
// The repairs of the attribute tables write no finding of their own.
QString OptionTip(TCheckGroup group, std::uint16_t bit) {
    QStringList lines;
    for (const auto& f : FindingCodes)
        if (f.Group == group && f.Bit == bit)
            lines << QString::fromUtf8("Hľadá: %1 (kód %2)").arg(QString::fromUtf8(f.What)).arg(f.Code);
    if (group == TCheckGroup::Databases) {
        switch (bit) {
        case option::DBUprStrukt: lines << QString::fromUtf8("Opraví štruktúru tabuliek bloku; chybu nezapisuje."); break;
        case option::DBUsporiadat:
            lines << QString::fromUtf8("Dá polia štandardu na začiatok tabuliek; chybu nezapisuje.");
            break;
        case option::DBNepZmaz: lines << QString::fromUtf8("Zmaže polia, ktoré štandard nepozná; chybu nezapisuje."); break;
        default: break;
        }
    }
    if (group == TCheckGroup::Lines && bit == option::LinPripustnost)
        lines << QString::fromUtf8(
            "Rozhoduje o línii sama: pri zaškrtnutí sa krivky, mimo MBR, duplikátne línie\n"
            "a dĺžka pri posudzovaných líniách neskúmajú (zhoda susedných plôch áno).");
    return lines.join('\n');
}

template <size_t N>
void AddOptionBoxes(QGroupBox* group, QGridLayout* layout, const std::array<TOptionBox, N>& boxes,
                    std::vector<QCheckBox*>& created) {
    int row = 0;
    for (const auto& box : boxes) {
        auto* cb = new QCheckBox(QString::fromUtf8(box.Caption), group);
        cb->setObjectName(box.Name);
        cb->setToolTip(OptionTip(static_cast<TCheckGroup>(group->property("checkGroup").toInt()), box.Bit));
        // The limit boxes share their row with an edit and a unit; the others span the row.
        const bool limit = box.Bit == LinDlzka && group->objectName() == "LinGroupBox";
        const bool area = box.Bit == PloPlocha && group->objectName() == "PloGroupBox";
        layout->addWidget(cb, row++, 0, 1, limit || area ? 1 : 3);
        created.push_back(cb);
    }
}

QProgressBar* MakeGauge(QWidget* parent, const char* name) {
    auto* g = new QProgressBar(parent);
    g->setObjectName(name);
    g->setTextVisible(false);
    g->setRange(0, 0);
    g->setValue(0);
    QPalette pal = g->palette();
    pal.setColor(QPalette::Highlight, QColor(0, 0, 255));
    g->setPalette(pal);
    g->setVisible(false);
    return g;
}

// dBASE tables in any letter case ("Chyby.DBF" on Linux, "chyby.dbf" from elsewhere).
constexpr const char* kErrorTableFilter = "Tabuľky dBASE|*.[dD][bB][fF]";
// Standards: Access databases and their SQLite copies.
constexpr const char* kStandardFilter = "Databázy štandardu|*.[mM][dD][bB] *.[aA][cC][cC][dD][bB] *.sqlite *.db";

QColor ToQColor(const TRgb& c) { return QColor(c.Red, c.Green, c.Blue); }

}  // namespace

template <class F>
void TVexaForm::Guarded(F action) {
    try {
        action();
    } catch (const std::exception& e) {
        FEnv.Messages->Show(TMsgType::Error, UserMessage(e));
    }
}

TVexaForm::TVexaForm(TFormsEnv& env, QWidget* parent) : QMainWindow(parent), FEnv(env) {
    InstallQtTranslations();  // Slovak standard dialogs; English ones when the file is missing
    BuildControls();
    FormCreate();
}

TVexaForm::~TVexaForm() {
    // FormDestroy: the standard object goes with the window.
    FStandard.reset();
}

void TVexaForm::SetForms(TChybyForm* chyby, TPremForm* prem) {
    FChybyForm = chyby;
    FPremForm = prem;
    if (FChybyForm) FChybyForm->SetRecheck([this](const std::string& block) { RecheckBlock(block); });
}

void TVexaForm::BuildControls() {
    setObjectName("VexaForm");
    QFont f("MS Sans Serif");
    f.setPixelSize(13);
    setFont(f);
    QFont bold = f;
    bold.setBold(true);

    BuildMenus();
    auto* central = new QWidget(this);
    setCentralWidget(central);
    BuildBlockArea(central, bold);
    BuildOptionGroups(central);
    BuildRunControls(central, bold);
    LayOutControls(central);
    ConnectEvents();
}

// The menu bar: map, error table, tools.
void TVexaForm::BuildMenus() {
    MenuMapa = menuBar()->addMenu("&Mapa");
    MenuMapaOtvorit = MenuMapa->addAction(QString::fromUtf8("&Otvoriť"));
    MenuMapaOtvorit->setObjectName("MenuMapaOtvorit");
    MenuMapaZavriet = MenuMapa->addAction(QString::fromUtf8("&Zavrieť"));
    MenuMapaZavriet->setObjectName("MenuMapaZavriet");
    MenuMapaZavriet->setEnabled(false);
    MenuChyby = menuBar()->addMenu("&Chyby");
    MenuChybyOtvorit = MenuChyby->addAction(QString::fromUtf8("&Otvoriť"));
    MenuChybyOtvorit->setObjectName("MenuChybyOtvorit");
    MenuStandard = menuBar()->addMenu(QString::fromUtf8("&Štandard"));
    MenuStandard->setObjectName("MenuStandard");
    MenuStandardOtvorit = MenuStandard->addAction(QString::fromUtf8("&Otvoriť…"));
    MenuStandardOtvorit->setObjectName("MenuStandardOtvorit");
    MenuNastroje = menuBar()->addMenu(QString::fromUtf8("&Nástroje"));
    MenuNastroje->setObjectName("MenuNastroje");
    MenuVyhladavanie = MenuNastroje->addMenu(QString::fromUtf8("&Vyhľadávanie"));
    MenuVyhladavanie->setObjectName("MenuVyhladavanie");
    MenuPodlaCisla = MenuVyhladavanie->addAction(QString::fromUtf8("podľa &čísla"));
    MenuPodlaCisla->setObjectName("MenuPodlaCisla");
    MenuPodlaDruhu = MenuVyhladavanie->addAction(QString::fromUtf8("podľa &druhu"));
    MenuPodlaDruhu->setObjectName("MenuPodlaDruhu");
    MenuPrezeracPlo = MenuNastroje->addAction(QString::fromUtf8("&Prezerač JPRL a OLP"));
    MenuPrezeracPlo->setObjectName("MenuPrezeracPlo");
    // F10 opens the first menu, as Alt does.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, [this] {
        menuBar()->setFocus(Qt::MenuBarFocusReason);
        menuBar()->setActiveAction(MenuMapa->menuAction());
    });
}

// The map line, the block grid and the line under it with the block buttons.
void TVexaForm::BuildBlockArea(QWidget* central, const QFont& bold) {
    // Map label line.
    MLabel = new QLabel("Mapa:", central);
    MLabel->setObjectName("MLabel");
    LabelMapa = new QLabel(central);
    LabelMapa->setObjectName("LabelMapa");
    LabelMapa->setFont(bold);

    // Block grid.
    BlkStringGrid = new TStringGrid(FGrid, central);
    BlkStringGrid->setObjectName("BlkStringGrid");
    BlkStringGrid->setFont(bold);
    BlkStringGrid->SetFixedCols(2);
    BlkStringGrid->SetOnDrawCell([this](QPainter& p, int col, int row, const QRect& r, TStringGrid::TDrawState s) {
        BlkStringGridDrawCell(p, col, row, r, s);
    });

    LabelKontr = new QLabel(central);
    LabelKontr->setObjectName("LabelKontr");
    LabelKontr->setFont(bold);
    QPalette blue = LabelKontr->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    LabelKontr->setPalette(blue);
    PremenovatButton = new QPushButton(QString::fromUtf8("&Premenovať"), central);
    PremenovatButton->setObjectName("PremenovatButton");
    PremenovatButton->setEnabled(false);
    ZmazatButton = new QPushButton(QString::fromUtf8("&Zmazať"), central);
    ZmazatButton->setObjectName("ZmazatButton");
    ZmazatButton->setEnabled(false);
}

// The five option groups with their check boxes, limit edits and gauges.
void TVexaForm::BuildOptionGroups(QWidget* central) {
    std::vector<QCheckBox*> boxes;
    auto makeGroup = [&](TCheckGroup which) {
        for (const auto& g : OptionGroups)
            if (g.Group == which) {
                auto* box = new TOptionGroupBox(QString::fromUtf8(g.Caption), central);
                box->setObjectName(g.Name);
                box->setProperty("checkGroup", static_cast<int>(which));
                return box;
            }
        return static_cast<TOptionGroupBox*>(nullptr);
    };
    LinGroupBox = makeGroup(TCheckGroup::Lines);
    BodGroupBox = makeGroup(TCheckGroup::Points);
    TxbGroupBox = makeGroup(TCheckGroup::Texts);
    PloGroupBox = makeGroup(TCheckGroup::Areas);
    DBGroupBox = makeGroup(TCheckGroup::Databases);

    auto* linLayout = new QGridLayout(LinGroupBox);
    AddOptionBoxes(LinGroupBox, linLayout, LinOptionBoxes, boxes);
    LinCBDlzka = LinGroupBox->findChild<QCheckBox*>("LinCBDlzka");
    LinEditDlzka = new TLimitEdit("0", LinGroupBox);
    LinEditDlzka->setObjectName("LinEditDlzka");
    LinEditDlzka->setEnabled(false);
    LinEditDlzka->setFixedWidth(56);
    linLayout->addWidget(LinEditDlzka, kLinLimitRow, 1);
    linLayout->addWidget(new QLabel("m", LinGroupBox), kLinLimitRow, 2);
    auto* bodLayout = new QGridLayout(BodGroupBox);
    AddOptionBoxes(BodGroupBox, bodLayout, BodOptionBoxes, boxes);
    auto* txbLayout = new QGridLayout(TxbGroupBox);
    AddOptionBoxes(TxbGroupBox, txbLayout, TxbOptionBoxes, boxes);
    auto* ploLayout = new QGridLayout(PloGroupBox);
    AddOptionBoxes(PloGroupBox, ploLayout, PloOptionBoxes, boxes);
    PloCBPlocha = PloGroupBox->findChild<QCheckBox*>("PloCBPlocha");
    PloEditPlocha = new TLimitEdit("0", PloGroupBox);
    PloEditPlocha->setObjectName("PloEditPlocha");
    PloEditPlocha->setEnabled(false);
    PloEditPlocha->setFixedWidth(56);
    ploLayout->addWidget(PloEditPlocha, kPloLimitRow, 1);
    ploLayout->addWidget(new QLabel("m2", PloGroupBox), kPloLimitRow, 2);
    auto* dbLayout = new QGridLayout(DBGroupBox);
    AddOptionBoxes(DBGroupBox, dbLayout, DBOptionBoxes, boxes);
    for (auto* layout : {linLayout, bodLayout, txbLayout, ploLayout, dbLayout}) {
        layout->setContentsMargins(6, 4, 6, 4);
        layout->setVerticalSpacing(0);
        layout->setColumnStretch(0, 1);
        layout->setRowStretch(layout->rowCount(), 1);
    }

    LinGauge = MakeGauge(LinGroupBox, "LinGauge");
    BodGauge = MakeGauge(BodGroupBox, "BodGauge");
    TxbGauge = MakeGauge(TxbGroupBox, "TxbGauge");
    PloGauge = MakeGauge(PloGroupBox, "PloGauge");
    LinGroupBox->SetGauge(LinGauge);
    BodGroupBox->SetGauge(BodGauge);
    TxbGroupBox->SetGauge(TxbGauge);
    PloGroupBox->SetGauge(PloGauge);
    FLinGauge = std::make_unique<TQtGauge>(LinGauge);
    FBodGauge = std::make_unique<TQtGauge>(BodGauge);
    FTxbGauge = std::make_unique<TQtGauge>(TxbGauge);
    FPloGauge = std::make_unique<TQtGauge>(PloGauge);
}

// "vyber všetky", the information button, "Kontrola", the standard's description and "Koniec".
void TVexaForm::BuildRunControls(QWidget* central, const QFont& bold) {
    CBVsetky = new QCheckBox(QString::fromUtf8("&vyber všetky"), central);
    CBVsetky->setObjectName("CBVsetky");
    SBInfo = new QToolButton(central);
    SBInfo->setObjectName("SBInfo");
    SBInfo->setAutoRaise(true);
    SBInfo->setIcon(ButtonGlyph(TButtonGlyph::Info));
    SBInfo->setIconSize(QSize(18, 18));
    KontrolaButton = new QPushButton("&Kontrola", central);
    KontrolaButton->setObjectName("KontrolaButton");
    KontrolaButton->setEnabled(false);
    LabelBlok = new QLabel(central);
    LabelBlok->setObjectName("LabelBlok");
    ZastavitButton = new QPushButton(QString::fromUtf8("Zas&taviť"), central);
    ZastavitButton->setObjectName("ZastavitButton");
    ZastavitButton->setEnabled(false);
    SpravaButton = new QPushButton(QString::fromUtf8("&Správa"), central);
    SpravaButton->setObjectName("SpravaButton");
    SpravaButton->setToolTip(QString::fromUtf8("Správa o poslednej kontrole mapy (stránka HTML s obrázkami)"));
    SpravaButton->setEnabled(false);
    LabelStd = new QLabel(central);
    LabelStd->setObjectName("LabelStd");
    LabelStd->setFont(bold);
    LabelStd->setAlignment(Qt::AlignCenter);
    KoniecBitBtn = new QPushButton(ButtonGlyph(TButtonGlyph::Ok), "Kon&iec", central);
    KoniecBitBtn->setObjectName("KoniecBitBtn");
}

void TVexaForm::LayOutControls(QWidget* central) {
    // Layout: map line, grid, examination line with the two block buttons, three columns of
    // option groups, the standard's description and the close button.
    auto* mapLine = new QHBoxLayout;
    mapLine->addWidget(MLabel);
    mapLine->addWidget(LabelMapa, 1);
    auto* kontrLine = new QHBoxLayout;
    kontrLine->addWidget(LabelKontr, 1);
    kontrLine->addWidget(PremenovatButton);
    kontrLine->addWidget(ZmazatButton);
    auto* left = new QVBoxLayout;
    left->addWidget(LinGroupBox);
    left->addWidget(BodGroupBox);
    auto* middle = new QVBoxLayout;
    middle->addWidget(TxbGroupBox);
    middle->addWidget(PloGroupBox);
    middle->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(DBGroupBox);
    right->addWidget(CBVsetky);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SBInfo);
    buttons->addStretch(1);
    buttons->addWidget(SpravaButton);
    buttons->addWidget(KontrolaButton);
    right->addLayout(buttons);
    auto* runLine = new QHBoxLayout;
    runLine->addWidget(LabelBlok, 1);
    runLine->addWidget(ZastavitButton);
    right->addLayout(runLine);
    right->addStretch(1);
    auto* options = new QHBoxLayout;
    options->addLayout(left, 1);
    options->addLayout(middle, 1);
    options->addLayout(right, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(LabelStd, 3);
    bottom->addStretch(1);
    bottom->addWidget(KoniecBitBtn);
    auto* main = new QVBoxLayout(central);
    main->setContentsMargins(8, 4, 8, 6);
    main->setSpacing(4);
    main->addLayout(mapLine);
    main->addWidget(BlkStringGrid, 1);
    main->addLayout(kontrLine);
    main->addLayout(options);
    main->addLayout(bottom);

    // Tab order as the controls are read: the list, its buttons, the groups column by
    // column, then the run controls and the end.
    QList<QWidget*> order{BlkStringGrid, PremenovatButton, ZmazatButton};
    for (QGroupBox* g : {LinGroupBox, BodGroupBox, TxbGroupBox, PloGroupBox, DBGroupBox})
        for (QWidget* w : g->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (w->focusPolicy() & Qt::TabFocus) order << w;
    order << CBVsetky << SBInfo << KontrolaButton << ZastavitButton << KoniecBitBtn;
    for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TVexaForm::ConnectEvents() {
    connect(MenuMapaOtvorit, &QAction::triggered, this, &TVexaForm::MenuMapaOtvoritClick);
    connect(MenuMapaZavriet, &QAction::triggered, this, &TVexaForm::MenuMapaZavrietClick);
    connect(MenuChybyOtvorit, &QAction::triggered, this, &TVexaForm::MenuChybyOtvoritClick);
    connect(MenuStandardOtvorit, &QAction::triggered, this, &TVexaForm::MenuStandardOtvoritClick);
    connect(MenuPodlaCisla, &QAction::triggered, this, &TVexaForm::MenuPodlaCislaClick);
    connect(MenuPodlaDruhu, &QAction::triggered, this, &TVexaForm::MenuPodlaDruhuClick);
    connect(MenuPrezeracPlo, &QAction::triggered, this, &TVexaForm::MenuPrezeracPloClick);
    connect(SBInfo, &QToolButton::clicked, this, &TVexaForm::SBInfoClick);
    connect(BlkStringGrid, &TStringGrid::MouseUp, this, &TVexaForm::BlkStringGridMouseUp);
    connect(BlkStringGrid, &TStringGrid::DoubleClicked, this, &TVexaForm::BlkStringGridDblClick);
    connect(PremenovatButton, &QPushButton::clicked, this, &TVexaForm::PremenovatButtonClick);
    connect(ZmazatButton, &QPushButton::clicked, this, &TVexaForm::ZmazatButtonClick);
    connect(LinCBDlzka, &QCheckBox::toggled, this, &TVexaForm::LinCBDlzkaClick);
    connect(PloCBPlocha, &QCheckBox::toggled, this, &TVexaForm::PloCBPlochaClick);
    connect(LinEditDlzka, &TLimitEdit::Exited, this, [this] { LinEditDlzkaExit(LinEditDlzka); });
    connect(PloEditPlocha, &TLimitEdit::Exited, this, [this] { LinEditDlzkaExit(PloEditPlocha); });
    connect(CBVsetky, &QCheckBox::toggled, this, &TVexaForm::CBVsetkyClick);
    connect(KontrolaButton, &QPushButton::clicked, this, &TVexaForm::KontrolaButtonClick);
    connect(SpravaButton, &QPushButton::clicked, this, &TVexaForm::SpravaButtonClick);
    connect(KoniecBitBtn, &QPushButton::clicked, this, &TVexaForm::KoniecBitBtnClick);
    connect(ZastavitButton, &QPushButton::clicked, this, &TVexaForm::ZastavitButtonClick);
    connect(BlkStringGrid, &TStringGrid::RowKey, this, &TVexaForm::BlkStringGridKey);
}

void TVexaForm::FormCreate() {
    // 1. Caption; "." as the decimal separator of every number conversion.
    setWindowTitle(QString::fromUtf8(kMainCaption));
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    resize(642, 513);
    if (QScreen* screen = QApplication::primaryScreen()) move(screen->geometry().center() - rect().center());

    // 2. Tools that are installed beside the program.
    const TToolMenuVisibility tools = ToolMenuVisibility(FEnv.ProgramDir);
    MenuPodlaCisla->setVisible(tools.PodlaCisla);
    MenuPodlaDruhu->setVisible(tools.PodlaDruhu);
    MenuPrezeracPlo->setVisible(tools.PrezeracPlo);
    MenuVyhladavanie->menuAction()->setVisible(tools.Vyhladavanie);
    MenuNastroje->menuAction()->setVisible(tools.Nastroje);

    // 3. Labels.
    LabelMapa->clear();
    LabelKontr->clear();

    // 4. The grid: titles and column widths.
    FColNazov = kColNazov;
    FColKontrola = kColKontrola;
    FColVrstva = kColVrstva;
    FGrid.Reset();
    const QFontMetrics fm(BlkStringGrid->font());
    BlkStringGrid->SetColWidth(FColNazov, fm.horizontalAdvance(QString::fromUtf8(kTitleNazov)) + 16);
    BlkStringGrid->SetColWidth(FColKontrola, fm.horizontalAdvance(QString::fromUtf8(kTitleKontrola)) + 16);
    BlkStringGrid->SetColWidth(FColVrstva, 642);
    BlkStringGrid->SetDefaultRowHeight(std::max(kGlyphSize + 4, fm.height() + 5));
    BlkStringGrid->RowsChanged();

    // 5. Bit tags of the option boxes.
    auto tag = [this](QGroupBox* group, const auto& table) {
        for (const auto& box : table)
            if (auto* cb = group->findChild<QCheckBox*>(box.Name, Qt::FindDirectChildrenOnly))
                cb->setProperty("tag", static_cast<int>(box.Bit));
    };
    tag(LinGroupBox, LinOptionBoxes);
    tag(BodGroupBox, BodOptionBoxes);
    tag(TxbGroupBox, TxbOptionBoxes);
    tag(PloGroupBox, PloOptionBoxes);
    tag(DBGroupBox, DBOptionBoxes);

    // 6. What the last start kept: the ticks, the limits, the window's size, the last map.
    LoadSettings();

    // 7. The standard object, last: the one named on the command line, else the kept one,
    // else the one beside the program. Without it no map can be opened: the window then
    // offers only what needs no standard (the error browser, the tools, the information).
    const std::string companion = CompanionFile(FEnv.ProgramDir, kStandardFileName);
    std::vector<std::string> candidates;
    if (!FEnv.StandardFile.empty()) candidates.push_back(FEnv.StandardFile);
    QString kept;
    if (!FEnv.SettingsFile.empty())
        kept = QSettings(QString::fromStdString(FEnv.SettingsFile), QSettings::IniFormat).value("standard").toString();
    if (!kept.isEmpty()) candidates.push_back(kept.toStdString());
    candidates.push_back(companion);
    for (std::size_t i = 0; i < candidates.size() && !FStandard; ++i)
        if (std::find(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(i), candidates[i]) ==
            candidates.begin() + static_cast<std::ptrdiff_t>(i))
            OpenStandard(candidates[i]);
    if (!FStandard) MenuMapaOtvorit->setEnabled(false);
}

bool TVexaForm::OpenStandard(const std::string& path) {
    try {
        auto standard = std::make_unique<TBlkStandardGXD>(path, CompanionFile(FEnv.ProgramDir, kErrorTableFileName),
                                                          *FEnv.App);
        FStandard = std::move(standard);
    } catch (const std::exception& e) {
        FEnv.Messages->Show(TMsgType::Error, "Štandard sa nedá otvoriť\r(" + path + ")\r" + UserMessage(e));
        return false;
    }
    FStandardPath = path;
    LabelStd->setText(QString::fromStdString(FStandard->Description()));
    LabelStd->setToolTip(QString::fromStdString(path));
    MenuMapaOtvorit->setEnabled(true);
    // Which blocks conform depends on the standard's layers.
    if (MenuMapaZavriet->isEnabled()) OpenMap(ExcludeTrailingDelimiter(FMapaDir));
    return true;
}

void TVexaForm::MenuStandardOtvoritClick() {
    if (FRunning) return;
    const auto file = FEnv.Dialogs->OpenFile(FStandardPath, kStandardFilter, "Otvoriť štandard");
    if (!file) return;
    OpenStandard(*file);
}

// The check boxes of the option groups and "vyber všetky", by name.
static std::vector<QCheckBox*> OptionCheckBoxes(QWidget* central) {
    std::vector<QCheckBox*> boxes;
    for (QCheckBox* cb : central->findChildren<QCheckBox*>())
        if (!cb->objectName().isEmpty()) boxes.push_back(cb);
    return boxes;
}

void TVexaForm::LoadSettings() {
    if (FEnv.SettingsFile.empty()) return;
    QSettings s(QString::fromStdString(FEnv.SettingsFile), QSettings::IniFormat);
    // "vyber všetky" first: its toggle ticks every box, the boxes' own states follow.
    if (s.contains("options/CBVsetky")) {
        const QSignalBlocker block(CBVsetky);
        CBVsetky->setChecked(s.value("options/CBVsetky").toBool());
    }
    for (QCheckBox* cb : OptionCheckBoxes(centralWidget()))
        if (cb != CBVsetky && s.contains("options/" + cb->objectName()))
            cb->setChecked(s.value("options/" + cb->objectName()).toBool());
    for (TLimitEdit* e : {LinEditDlzka, PloEditPlocha})
        if (s.contains("limits/" + e->objectName()))
            e->setText(QString::fromStdString(NormalizeLimitText(s.value("limits/" + e->objectName()).toString().toStdString())));
    if (s.contains("window/main")) restoreGeometry(s.value("window/main").toByteArray());
    FLastMap = s.value("map").toString().toStdString();
}

void TVexaForm::SaveSettings() {
    if (FEnv.SettingsFile.empty()) return;
    QSettings s(QString::fromStdString(FEnv.SettingsFile), QSettings::IniFormat);
    for (QCheckBox* cb : OptionCheckBoxes(centralWidget())) s.setValue("options/" + cb->objectName(), cb->isChecked());
    for (TLimitEdit* e : {LinEditDlzka, PloEditPlocha})
        s.setValue("limits/" + e->objectName(), QString::fromStdString(NormalizeLimitText(e->text().toStdString())));
    s.setValue("window/main", saveGeometry());
    // The map that is open (not a directory whose error table the browser showed alone).
    if (MenuMapaZavriet->isEnabled())
        s.setValue("map", QString::fromStdString(ExcludeTrailingDelimiter(FMapaDir)));
    if (FStandard) s.setValue("standard", QString::fromStdString(FStandardPath));
    s.sync();
}

void TVexaForm::OpenLastMap() {
    std::error_code ec;
    if (!FLastMap.empty() && FStandard && std::filesystem::is_directory(FLastMap, ec)) OpenMap(FLastMap);
}

std::uint16_t TVexaForm::GroupBoxMask(const QGroupBox* groupBox) {
    std::vector<TTaggedBox> boxes;
    for (const QCheckBox* cb : groupBox->findChildren<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly))
        boxes.push_back({cb->property("tag").toInt(), cb->isChecked()});
    return vexa::GroupBoxMask(boxes);
}

void TVexaForm::SetMapControls(bool enabled) {
    MenuMapaZavriet->setEnabled(enabled);
    KontrolaButton->setEnabled(enabled);
    SpravaButton->setEnabled(enabled);
    PremenovatButton->setEnabled(enabled);
    ZmazatButton->setEnabled(enabled);
}

// --- map --------------------------------------------------------------------------------

void TVexaForm::MenuMapaOtvoritClick() {
    if (FRunning) return;
    const auto dir = FEnv.Dialogs->ChooseDirectory(FMapaDir);
    if (!dir) return;
    OpenMap(*dir);
}

void TVexaForm::OpenMap(const std::string& dir) {
    Guarded([&] {
        LabelMapa->setText(QString::fromStdString(dir));
        FMapaDir = IncludeTrailingDelimiter(dir);
        if (!FStandard) throw EStdException("Štandard nebol otvorený.");
        const auto rows =
            ListMapBlocks(FMapaDir, [this](const std::string& layer) { return FStandard->IsLayerKnown(layer); });
        std::vector<TBlockGrid::TRow> cells;
        for (const auto& r : rows) cells.push_back({r.Nazov, r.Kontrola, r.Vrstva});
        FGrid.SetBlocks(cells);
        FGrid.SetCurrentRow(1);
        BlkStringGrid->RowsChanged();
        SetMapControls(!rows.empty());
    });
}

void TVexaForm::MenuMapaZavrietClick() {
    if (FRunning) return;
    SetMapControls(false);
    FMapaDir.clear();
    FGrid.Reset();
    BlkStringGrid->RowsChanged();
}

void TVexaForm::MenuChybyOtvoritClick() {
    if (FRunning || !FChybyForm) return;
    // The proposed name as it is spelt in the start directory; the filter takes any letter case.
    std::error_code ec;
    const fs::path start = FMapaDir.empty() ? fs::current_path(ec) : fs::path(FMapaDir);
    const auto file = FEnv.Dialogs->OpenFile(ResolveIgnoreCase(start, kMapErrorTableName).string(),
                                             kErrorTableFilter, "Otvoriť súbor s chybami");
    if (!file) return;
    // The opened map stays open with its block list: while the browser is shown, the map
    // directory is the table's (show requests and "Skontrolovať znova" work on its blocks),
    // and the map comes back when the browser closes. Without an opened map the table's
    // directory stays the window's.
    const bool mapOpen = MenuMapaZavriet->isEnabled();
    const std::string mapDir = FMapaDir;
    const QString mapLabel = LabelMapa->text();
    FMapaDir = ExtractFilePath(*file);
    if (FMapaDir.empty()) FMapaDir = IncludeTrailingDelimiter(std::filesystem::current_path().string());
    // The caption and "Mapa:" name the directory whose error table is open.
    LabelMapa->setText(QString::fromStdString(ExcludeTrailingDelimiter(FMapaDir)));
    FChybyForm->ShowModalFor(FMapaDir);
    if (mapOpen) {
        FMapaDir = mapDir;
        LabelMapa->setText(mapLabel);
    }
}

// --- grid ---------------------------------------------------------------------------------

void TVexaForm::BlkStringGridDrawCell(QPainter& p, int col, int row, const QRect& rect, TStringGrid::TDrawState state) {
    const QPalette& pal = palette();
    QFont font = BlkStringGrid->font();
    font.setBold(true);
    p.setFont(font);
    QColor text = pal.color(QPalette::WindowText);
    QColor back = pal.color(QPalette::Button);
    const std::string& cell = FGrid.Cell(col, row);
    if (row > 0 && col == FColVrstva) {
        if (state.Focused) {
            text = pal.color(QPalette::Base);
            back = pal.color(QPalette::Active, QPalette::Highlight);
        } else {
            text = pal.color(QPalette::WindowText);
            switch (NameCellColour(FGrid.Cell(FColNazov, row), FGrid.Cell(FColKontrola, row))) {
            case TRowColour::Window: back = pal.color(QPalette::Base); break;
            case TRowColour::Conforming: back = ToQColor(kConformingColour); break;
            case TRowColour::Other: back = ToQColor(kOtherColour); break;
            }
        }
    }
    p.fillRect(rect, back);

    if (row > 0 && (col == FColNazov || col == FColKontrola) && !cell.empty()) {
        const QPixmap glyph = GridGlyph(std::atoi(cell.c_str()));
        if (!glyph.isNull()) {
            const TCellRect g =
                GlyphRect({rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()},
                          glyph.width(), glyph.height());
            // The face glyphs carry a transparent background; the check boxes are opaque.
            p.drawPixmap(g.Left, g.Top, glyph);
        }
    }

    p.setPen(text);
    const QFontMetrics fm(font);
    if (row == 0) {
        const QString title = QString::fromStdString(cell);
        const int x = col == FColVrstva ? rect.left() + 2
                                        : rect.left() + CentredOffset(rect.width(), fm.horizontalAdvance(title));
        p.drawText(x, rect.top() + 2 + fm.ascent(), title);
    } else if (col == FColVrstva) {
        p.drawText(rect.left() + 2, rect.top() + 2 + fm.ascent(), QString::fromStdString(cell));
    }

    if (state.Fixed) {  // raised inner edge
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(rect.topLeft(), rect.topRight());
        p.drawLine(rect.topLeft(), rect.bottomLeft());
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(rect.bottomLeft(), rect.bottomRight());
        p.drawLine(rect.topRight(), rect.bottomRight());
    }
}

void TVexaForm::BlkStringGridMouseUp(int x, int y) {
    int col, row;
    if (!BlkStringGrid->MouseToCell(x, y, col, row)) return;
    if (col != FColKontrola || row < 1) return;
    std::string value = FGrid.Cell(col, row);
    if (value.empty()) return;
    const QRect r = BlkStringGrid->CellRect(col, row);
    if (ToggleByClick(value, {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}, x, y))
        FGrid.SetCell(col, row, value);
    BlkStringGrid->viewport()->repaint();
}

void TVexaForm::BlkStringGridDblClick(int x, int y) {
    int col, row;
    BlkStringGrid->MouseToCell(x, y, col, row);
    if (col == FColKontrola) return;
    if (FGrid.Cell(FColVrstva, FGrid.CurrentRow()).empty()) return;
    PremenovatButtonClick();
}

void TVexaForm::BlkStringGridKey(int key) {
    switch (key) {
    case Qt::Key_Space: {
        // As a click on the glyph: an empty cell (no listed layer) is not toggled.
        const int row = FGrid.CurrentRow();
        if (row < 1 || row >= FGrid.RowCount()) return;
        const std::string value = FGrid.Cell(FColKontrola, row);
        if (value.empty()) return;
        FGrid.SetCell(FColKontrola, row, ToggledSelection(value));
        BlkStringGrid->viewport()->update();
        return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter: PremenovatButtonClick(); return;
    case Qt::Key_Delete: ZmazatButtonClick(); return;
    default: return;
    }
}

// --- rename and delete ---------------------------------------------------------------------

void TVexaForm::PremenovatButtonClick() {
    if (FRunning || !FPremForm || !PremenovatButton->isEnabled()) return;
    Guarded([&] {
        if (!FStandard) throw EStdException("Štandard nebol otvorený.");
        const int row = FGrid.CurrentRow();
        const std::string oldName = FGrid.Cell(FColVrstva, row);
        // An empty row (after the last block was deleted) names no block: nothing to rename.
        if (oldName.empty()) return;
        FPremForm->SetPrefixItems(FStandard->Layers().Strings());
        FPremForm->LabelOldName->setText(QString::fromStdString(oldName));
        if (FPremForm->exec() != QDialog::Accepted) return;
        const std::string newName = FPremForm->GetNewName();
        std::string reason;
        switch (RenameBlock(FMapaDir, oldName, newName, &reason)) {
        case TRenameResult::Unchanged: return;
        case TRenameResult::Renamed: break;
        default: FEnv.Messages->Show(TMsgType::Warning, reason); return;
        }
        FGrid.ApplyRename(row, newName, FStandard->IsLayerKnown(newName.substr(0, 2)));
        BlkStringGrid->viewport()->repaint();
    });
}

void TVexaForm::ZmazatButtonClick() {
    if (FRunning || !ZmazatButton->isEnabled()) return;
    Guarded([&] {
        const int row = FGrid.CurrentRow();
        const std::string name = FGrid.Cell(FColVrstva, row);
        if (name.empty()) return;
        const std::string path = FMapaDir + name;
        std::error_code ec;
        if (!std::filesystem::is_directory(path, ec)) return;
        if (FEnv.Messages->Show(TMsgType::Question, DeleteQuestion(path)) != TMsgResult::Yes) return;
        if (!DeleteDirTree(path)) {
            FEnv.Messages->Show(TMsgType::Warning, kDeleteFailedText);
            return;
        }
        if (FGrid.DeleteRow(row)) ZmazatButton->setEnabled(false);
        BlkStringGrid->RowsChanged();
    });
}

// --- options -------------------------------------------------------------------------------

void TVexaForm::LinCBDlzkaClick() {
    LinEditDlzka->setEnabled(LinCBDlzka->isChecked());
    if (LinEditDlzka->isEnabled()) LinEditDlzka->setFocus();
}

void TVexaForm::PloCBPlochaClick() {
    PloEditPlocha->setEnabled(PloCBPlocha->isChecked());
    if (PloEditPlocha->isEnabled()) PloEditPlocha->setFocus();
}

void TVexaForm::LinEditDlzkaExit(TLimitEdit* edit) {
    const QString normal = QString::fromStdString(NormalizeLimitText(edit->text().toStdString()));
    if (edit->text() != normal) edit->setText(normal);
}

void TVexaForm::CBVsetkyClick() {
    const bool ticked = CBVsetky->isChecked();
    for (QGroupBox* group :
         std::initializer_list<QGroupBox*>{LinGroupBox, BodGroupBox, TxbGroupBox, PloGroupBox, DBGroupBox})
        for (QCheckBox* cb : group->findChildren<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly))
            cb->setChecked(ticked);
    CBVsetky->setFocus();
}

// --- tools and information ------------------------------------------------------------------

void TVexaForm::RunSiblingTool(const char* name) {
    if (vexa::RunSiblingTool(FEnv.ProgramDir, name)) {
        activateWindow();
        setFocus();
    }
}

void TVexaForm::MenuPodlaCislaClick() { RunSiblingTool(kToolPodlaCisla); }
void TVexaForm::MenuPodlaDruhuClick() { RunSiblingTool(kToolPodlaDruhu); }
void TVexaForm::MenuPrezeracPloClick() { RunSiblingTool(kToolPrezeracPlo); }

void TVexaForm::SBInfoClick() {
    FEnv.Messages->Show(TMsgType::Information, windowTitle().toStdString() + "\rverzia " + kVersion);
}

// --- check run -----------------------------------------------------------------------------

void TVexaForm::SetRunLock(bool locked) {
    if (locked) {
        FLocked = {MenuMapaOtvorit->isEnabled(), MenuMapaZavriet->isEnabled(),  MenuChybyOtvorit->isEnabled(),
                   KontrolaButton->isEnabled(),  PremenovatButton->isEnabled(), ZmazatButton->isEnabled(),
                   KoniecBitBtn->isEnabled()};
        for (QAction* a : {MenuMapaOtvorit, MenuMapaZavriet, MenuChybyOtvorit}) a->setEnabled(false);
        for (QPushButton* b : {KontrolaButton, PremenovatButton, ZmazatButton, KoniecBitBtn, SpravaButton})
            b->setEnabled(false);
    } else {
        MenuMapaOtvorit->setEnabled(FLocked.Otvorit);
        MenuMapaZavriet->setEnabled(FLocked.Zavriet);
        MenuChybyOtvorit->setEnabled(FLocked.Chyby);
        KontrolaButton->setEnabled(FLocked.Kontrola);
        SpravaButton->setEnabled(FLocked.Kontrola);
        PremenovatButton->setEnabled(FLocked.Premenovat);
        ZmazatButton->setEnabled(FLocked.Zmazat);
        KoniecBitBtn->setEnabled(FLocked.Koniec);
    }
}

void TVexaForm::SpravaButtonClick() {
    const std::string dir = MapaDir();
    if (dir.empty()) return;
    Guarded([&] {
        const auto records = report::LastRunRecords(dir);
        if (!records)
            FEnv.Messages->Show(TMsgType::Information, "Mapa zatiaľ nemá zaznamenanú kontrolu.");
        else
            WriteAndOpenReport(FEnv, dir, *records);
    });
}

void TVexaForm::KontrolaButtonClick() {
    // The passes let the message loop run: a second run, closing the map or the window
    // must wait until this one ends.
    if (FRunning || !FStandard) return;
    // Repairs that rewrite the blocks' tables or delete their fields start only when confirmed.
    const std::string question = RepairsQuestion(GroupBoxMask(DBGroupBox));
    if (!question.empty() && FEnv.Messages->Show(TMsgType::Question, question) != TMsgResult::Yes) return;
    FRunning = true;
    FStopRequested = false;
    SetRunLock(true);
    ZastavitButton->setEnabled(true);
    RunWithReview(false);
    ZastavitButton->setEnabled(false);
    LabelBlok->clear();
    for (QProgressBar* g : {LinGauge, BodGauge, TxbGauge, PloGauge}) g->setVisible(false);
    LabelKontr->clear();
    SetRunLock(false);
    FRunning = false;
}

void TVexaForm::RunWithReview(bool merge) {
    Guarded([&] {
        review::TReviewSettings settings;
        settings.Merge = merge;
        settings.Version = kVersion;
        settings.Standard = FStandardPath;
        settings.Description = FStandard->Description();
        review::TRunReview review(IncludeTrailingDelimiter(FMapaDir), settings);
        // The window's outputs: the review in front of the error table.
        run::TRunOutputs outputs;
        outputs.Review = &review;
        FUncleanQuiet = false;
        RunCheck(*FStandard, *this, outputs);
    });
}

void TVexaForm::RecheckBlock(const std::string& block) {
    // The browser may be open at the end of a run (which has let the map go by then).
    if (FOnlyBlock || !FStandard) return;
    // The block is checked again as the run of the table shown checked it, not with the
    // boxes ticked now (which may have changed, or be the defaults after a restart).
    const std::optional<TKeptOptions> kept = KeptRunOptions(IncludeTrailingDelimiter(FMapaDir), true);
    if (kept) {
        FRecheckOptions = kept->Options;
    } else if (FEnv.Messages->Show(TMsgType::Question,
                                   "História mapy neuchováva voľby kontroly zobrazenej tabuľky.\r"
                                   "Skontrolovať blok " + block + " s voľbami zaškrtnutými v hlavnom okne?") !=
               TMsgResult::Yes) {
        return;
    }
    const bool running = FRunning;
    FRunning = true;
    FStopRequested = false;
    FOnlyBlock = block;
    RunWithReview(true);
    FOnlyBlock.reset();
    FRecheckOptions.reset();
    LabelKontr->clear();
    LabelBlok->clear();
    FRunning = running;
}

int TVexaForm::BlockRowCount() { return FOnlyBlock ? 1 : FGrid.RowCount() - 1; }

TBlockRow TVexaForm::BlockRow(int index) {
    // The browser's block alone, selected (its name came from the table of this map).
    if (FOnlyBlock) return TBlockRow{"1", "3", *FOnlyBlock};
    const auto& r = FGrid.Row(index + 1);
    return TBlockRow{r[kColNazov], r[kColKontrola], r[kColVrstva]};
}

std::string TVexaForm::MapDir() { return FMapaDir; }

TCheckRunOptions TVexaForm::Options() {
    if (FRecheckOptions) {
        TCheckRunOptions o = *FRecheckOptions;
        o.Jobs = DefaultJobs();
        return o;
    }
    TCheckRunOptions o;
    o.DbMask = GroupBoxMask(DBGroupBox);
    o.LinMask = GroupBoxMask(LinGroupBox);
    o.BodMask = GroupBoxMask(BodGroupBox);
    o.TxbMask = GroupBoxMask(TxbGroupBox);
    o.PloMask = GroupBoxMask(PloGroupBox);
    o.LengthLimit = LimitValue(LinEditDlzka->text().toStdString());
    o.AreaLimit = LimitValue(PloEditPlocha->text().toStdString());
    o.Jobs = DefaultJobs();
    return o;
}

void TVexaForm::SetCaption(const std::string& text) {
    LabelKontr->setText(QString::fromStdString(text));
    LabelKontr->repaint();
}

IGauge* TVexaForm::Gauge(TCheckGroup group) {
    switch (group) {
    case TCheckGroup::Lines: return FLinGauge.get();
    case TCheckGroup::Points: return FBodGauge.get();
    case TCheckGroup::Texts: return FTxbGauge.get();
    case TCheckGroup::Areas: return FPloGauge.get();
    case TCheckGroup::Databases: return nullptr;
    }
    return nullptr;
}

void TVexaForm::ShowGauge(TCheckGroup group, bool visible) {
    QProgressBar* bar = nullptr;
    switch (group) {
    case TCheckGroup::Lines: bar = LinGauge; break;
    case TCheckGroup::Points: bar = BodGauge; break;
    case TCheckGroup::Texts: bar = TxbGauge; break;
    case TCheckGroup::Areas: bar = PloGauge; break;
    case TCheckGroup::Databases: break;
    }
    if (!bar) return;
    bar->setVisible(visible);
    if (visible) bar->repaint();
}

void TVexaForm::Warning(const std::string& message) { FEnv.Messages->Show(TMsgType::Warning, message); }

void TVexaForm::NotCleaned(const std::string& blockPath, const std::string&) {
    // "OK pre všetky": the other unclean blocks of this run are skipped without a box; the
    // end box names each of them.
    if (FUncleanQuiet) return;
    if (FEnv.Messages->Show(TMsgType::WarningForAll, NotCleanedMessage(blockPath)) == TMsgResult::OkForAll)
        FUncleanQuiet = true;
}

void TVexaForm::Information(const std::string& message) { FEnv.Messages->Show(TMsgType::Information, message); }

void TVexaForm::ShowErrorBrowser(const std::string& mapDir) {
    // A re-check from the browser: the browser shows the result itself.
    if (FOnlyBlock) return;
    if (FChybyForm) FChybyForm->ShowModalFor(mapDir);
}

void TVexaForm::ShowBlockProgress(int index, int count, const std::string& name) {
    LabelBlok->setText(QString::fromUtf8("blok %1 z %2: %3").arg(index).arg(count).arg(QString::fromStdString(name)));
    LabelBlok->repaint();
}

bool TVexaForm::StopRequested() { return FStopRequested; }

void TVexaForm::ZastavitButtonClick() {
    if (!FRunning) return;
    FStopRequested = true;
    ZastavitButton->setEnabled(false);
}

// --- closing -------------------------------------------------------------------------------

void TVexaForm::KoniecBitBtnClick() { close(); }

void TVexaForm::closeEvent(QCloseEvent* e) {
    if (FRunning) {
        e->ignore();
        return;
    }
    SaveSettings();
    QMainWindow::closeEvent(e);
}

}  // namespace vexa

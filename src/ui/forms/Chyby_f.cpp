#include "ui/forms/Chyby_f.h"

#include "report/RunReport.h"

#include "common/FileNames.h"
#include "common/SysError.h"
#include "common/Text.h"
#include "export/FindingFormats.h"
#include "export/GisLayers.h"
#include "export/GisWriter.h"
#include "review/Exceptions.h"
#include "review/Fingerprint.h"
#include "review/RunReview.h"
#include "standard/FindingKinds.h"
#include "run/CheckRun.h"
#include "ui/GisShow.h"
#include "ui/forms/ErrorTableModel.h"
#include "ui/forms/Glyphs.h"
#include "ui/forms/MapView_f.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

namespace vexa {

namespace {
QToolButton* GlyphButton(QWidget* parent, const char* name, const QIcon& icon, const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(icon);
    b->setIconSize(QSize(18, 18));
    b->setToolTip(tip);
    b->setFixedSize(28, 26);
    return b;
}

QToolButton* NavButton(QWidget* parent, const char* name, Qt::ArrowType arrow, bool bar) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setArrowType(arrow);
    b->setFixedSize(bar ? 26 : 24, 24);
    if (bar) {  // first and last: an arrow against a bar
        b->setText(arrow == Qt::LeftArrow ? "|◀" : "▶|");
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    }
    return b;
}

TColor ToTColor(const QColor& c) { return c.red() | (c.green() << 8) | (c.blue() << 16); }
}  // namespace

template <class F>
void TChybyForm::Guarded(F action) {
    try {
        action();
    } catch (const std::exception& e) {
        FEnv.Messages->Show(TMsgType::Error, UserMessage(e));
    }
}

TChybyForm::TChybyForm(TFormsEnv& env, QWidget* mainWindow, std::function<std::string()> mapDir, QWidget* parent)
    : QDialog(parent), FEnv(env), FMainWindow(mainWindow), FMapDir(std::move(mapDir)) {
    setObjectName("ChybyForm");
    setWindowTitle("Chyby");
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    QFont f("MS Sans Serif");
    f.setPixelSize(13);
    setFont(f);

    FTable.SetTableName(kMapErrorTableName);
    FModel = new TErrorTableModel(FTable, this);

    Label2 = new QLabel("&Prvky", this);
    Label2->setObjectName("Label2");
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    for (const auto& item : GroupItems()) ComboBox1->addItem(QString::fromStdString(item));
    ComboBox1->setMinimumWidth(90);
    Label3 = new QLabel("&Typ chyby", this);
    Label3->setObjectName("Label3");
    ComboBox2 = new QComboBox(this);
    ComboBox2->setObjectName("ComboBox2");
    ComboBox2->setMinimumWidth(120);
    Label2->setBuddy(ComboBox1);
    Label3->setBuddy(ComboBox2);
    Label4 = new QLabel(this);
    Label4->setObjectName("Label4");
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label4->setMinimumWidth(120);
    // The counter is never cut ("Záznam: 2/30, vybrané: 5"): the stretch before it gives way.
    Label4->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    Label5 = new QLabel("&Stav", this);
    Label5->setObjectName("Label5");
    ComboBox3 = new QComboBox(this);
    ComboBox3->setObjectName("ComboBox3");
    for (const char* item : {"všetky", "nové", "trvajúce", "výnimky"}) ComboBox3->addItem(QString::fromUtf8(item));
    Label5->setBuddy(ComboBox3);
    Label6 = new QLabel("&Blok", this);
    Label6->setObjectName("Label6");
    ComboBox4 = new QComboBox(this);
    ComboBox4->setObjectName("ComboBox4");
    ComboBox4->setMinimumWidth(110);
    Label6->setBuddy(ComboBox4);
    Label7 = new QLabel(QString::fromUtf8("&Hľadať"), this);
    Label7->setObjectName("Label7");
    HladatEdit = new QLineEdit(this);
    HladatEdit->setObjectName("HladatEdit");
    HladatEdit->setClearButtonEnabled(true);
    HladatEdit->setPlaceholderText(QString::fromUtf8("text, blok, B:číslo"));
    HladatEdit->setToolTip(QString::fromUtf8(
        "Riadky, ktorých text, blok alebo prvok (napr. B:17) obsahuje každé zadané slovo;\n"
        "veľké a malé písmená ani diakritika sa nerozlišujú"));
    HladatEdit->setMinimumWidth(160);
    Label7->setBuddy(HladatEdit);
    HladatEdit->installEventFilter(this);
    FSearchTimer = new QTimer(this);
    FSearchTimer->setSingleShot(true);
    FSearchTimer->setInterval(250);
    StavLabel = new QLabel(this);
    StavLabel->setObjectName("StavLabel");
    StavLabel->setWordWrap(true);
    StavLabel->setVisible(false);
    DetailLabel = new QLabel(this);
    DetailLabel->setObjectName("DetailLabel");
    DetailLabel->setWordWrap(true);
    DetailLabel->setVisible(false);

    DBGrid = new QTableView(this);
    DBGrid->setObjectName("DBGrid");
    DBGrid->setModel(FModel);
    DBGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Many rows at once: Shift+click a range, Ctrl+click one more, Ctrl+A every row shown.
    DBGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DBGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The columns fill the width: the text column, placed last, takes what the others leave.
    DBGrid->horizontalHeader()->setStretchLastSection(true);
    DBGrid->verticalHeader()->setDefaultSectionSize(18);
    // Rows of one height: a grid of many rows is laid out without measuring them.
    DBGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrid->verticalHeader()->setFixedWidth(12);  // the record indicator
    // The selection stays visible when the grid loses the focus.
    QPalette pal = DBGrid->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    DBGrid->setPalette(pal);

    DBNavigator1 = new QWidget(this);
    DBNavigator1->setObjectName("DBNavigator1");
    auto* nav = new QHBoxLayout(DBNavigator1);
    nav->setContentsMargins(0, 0, 0, 0);
    nav->setSpacing(0);
    NavFirst = NavButton(DBNavigator1, "NavFirst", Qt::LeftArrow, true);
    NavPrior = NavButton(DBNavigator1, "NavPrior", Qt::LeftArrow, false);
    NavNext = NavButton(DBNavigator1, "NavNext", Qt::RightArrow, false);
    NavLast = NavButton(DBNavigator1, "NavLast", Qt::RightArrow, true);
    for (auto* b : {NavFirst, NavPrior, NavNext, NavLast}) nav->addWidget(b);

    BitBtn1 = GlyphButton(this, "BitBtn1", ButtonGlyph(TButtonGlyph::Delete), QString::fromUtf8("Zmazať záznam"));
    BitBtn2 = GlyphButton(this, "BitBtn2", ButtonGlyph(TButtonGlyph::TreeAndPen), QString::fromUtf8("Ukázať v Topole"));
    BitBtn3 = GlyphButton(this, "BitBtn3", ButtonGlyph(TButtonGlyph::ZoomIn), QString::fromUtf8("Zväčšiť"));
    BitBtn4 = GlyphButton(this, "BitBtn4", ButtonGlyph(TButtonGlyph::ZoomOut), QString::fromUtf8("Zmenšiť"));
    BitBtn5 = GlyphButton(this, "BitBtn5", ButtonGlyph(TButtonGlyph::Mountains),
                          QString::fromUtf8("Ukázať a nastaviť pohľad"));
    LupaSButt =
        GlyphButton(this, "LupaSButt", ButtonGlyph(TButtonGlyph::Magnifier), QString::fromUtf8("Nastavovať pohľad"));
    LupaSButt->setCheckable(true);
    LupaSButt->setAutoRaise(true);
    MapaBitBtn = GlyphButton(this, "MapaBitBtn", ButtonGlyph(TButtonGlyph::Map),
                             QString::fromUtf8("Ukázať chybu na mape (bez GIS)"));
    VynimkaBitBtn = GlyphButton(this, "VynimkaBitBtn", style()->standardIcon(QStyle::SP_DialogYesButton),
                                QString::fromUtf8("Nie je chyba: výnimka s dôvodom (Ctrl+N)"));
    ZnovaBitBtn = GlyphButton(this, "ZnovaBitBtn", style()->standardIcon(QStyle::SP_BrowserReload),
                              QString::fromUtf8("Skontrolovať znova blok tejto chyby"));
    ExportBitBtn = GlyphButton(this, "ExportBitBtn", style()->standardIcon(QStyle::SP_DialogSaveButton),
                               QString::fromUtf8("Exportovať zobrazené chyby do GIS"));
    SpravaBitBtn = new QToolButton(this);
    SpravaBitBtn->setObjectName("SpravaBitBtn");
    SpravaBitBtn->setText(QString::fromUtf8("Správa"));
    SpravaBitBtn->setToolTip(QString::fromUtf8("Správa o kontrole zobrazených chýb (stránka HTML s obrázkami)"));

    Shape1 = new QFrame(this);
    Shape1->setObjectName("Shape1");
    Shape1->setFixedSize(64, 24);
    Shape1->setAutoFillBackground(true);
    Shape1->setFrameShape(QFrame::Box);
    Label1 = new QLabel("Chyby", Shape1);
    Label1->setObjectName("Label1");
    QFont bold = f;
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setAutoFillBackground(true);
    Label1->setGeometry(3, 3, 58, 18);
    Shape1->installEventFilter(this);
    Label1->installEventFilter(this);

    KoniecBitBtn = new QPushButton(ButtonGlyph(TButtonGlyph::Ok), "&Zatvor", this);
    KoniecBitBtn->setObjectName("KoniecBitBtn");

    auto* top = new QHBoxLayout;
    top->addWidget(Label2);
    top->addWidget(ComboBox1);
    top->addSpacing(12);
    top->addWidget(Label3);
    top->addWidget(ComboBox2);
    top->addSpacing(12);
    top->addWidget(Label5);
    top->addWidget(ComboBox3);
    top->addSpacing(12);
    top->addWidget(Label6);
    top->addWidget(ComboBox4);
    top->addSpacing(12);
    top->addWidget(Label7);
    top->addWidget(HladatEdit, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(DBNavigator1);
    bottom->addSpacing(6);
    bottom->addWidget(BitBtn1);
    bottom->addSpacing(16);
    for (auto* b : {BitBtn2, BitBtn3, BitBtn4, BitBtn5, LupaSButt, MapaBitBtn}) bottom->addWidget(b);
    bottom->addSpacing(16);
    bottom->addWidget(Shape1);
    bottom->addSpacing(16);
    bottom->addWidget(VynimkaBitBtn);
    bottom->addWidget(ZnovaBitBtn);
    bottom->addSpacing(16);
    bottom->addWidget(ExportBitBtn);
    bottom->addWidget(SpravaBitBtn);
    bottom->addStretch(1);
    // The counter beside "Zatvor": the top line has the filters and the search.
    bottom->addWidget(Label4);
    bottom->addSpacing(12);
    bottom->addWidget(KoniecBitBtn);
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(6, 6, 6, 6);
    main->addLayout(top);
    main->addWidget(StavLabel);
    main->addWidget(DBGrid, 1);
    main->addWidget(DetailLabel);
    main->addLayout(bottom);

    // Creation: near the lower right corner of the screen; positioning on, scale 1.
    // Opens at its familiar size and can be enlarged; the grid takes the added space.
    // Every button of the bottom line shown (619 x 243 cut "Zatvor" and the navigation).
    setMinimumSize(619, 243);
    resize(sizeHint().expandedTo(QSize(619, 300)));
    if (QScreen* screen = QApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.width() - width() - 30, s.height() - height() - 90);
    }
    if (!FEnv.SettingsFile.empty()) {
        const QByteArray kept =
            QSettings(QString::fromStdString(FEnv.SettingsFile), QSettings::IniFormat).value("browser/geometry").toByteArray();
        if (!kept.isEmpty()) restoreGeometry(kept);
    }
    LupaSButt->setChecked(true);
    FScale = TShowScale{};
    QPalette shape = Shape1->palette();
    shape.setColor(QPalette::Window, FColour);
    shape.setColor(QPalette::WindowText, Qt::white);
    Shape1->setPalette(shape);
    Label1->setPalette(shape);

    connect(ComboBox1, &QComboBox::activated, this, [this](int) { ComboBox1Change(); });
    connect(ComboBox2, &QComboBox::activated, this, [this](int) { ComboBox2Change(); });
    connect(ComboBox4, &QComboBox::activated, this, [this](int) { ComboBox4Change(); });
    connect(HladatEdit, &QLineEdit::textEdited, FSearchTimer, qOverload<>(&QTimer::start));
    // The clear button changes the text without an edit.
    connect(HladatEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty() && !FModel->RowFilter().Words.empty()) HladatEditChange();
    });
    connect(FSearchTimer, &QTimer::timeout, this, &TChybyForm::HladatEditChange);
    connect(BitBtn1, &QToolButton::clicked, this, &TChybyForm::BitBtn1Click);
    connect(BitBtn2, &QToolButton::clicked, this, &TChybyForm::BitBtn2Click);
    connect(BitBtn3, &QToolButton::clicked, this, &TChybyForm::BitBtn3Click);
    connect(BitBtn4, &QToolButton::clicked, this, &TChybyForm::BitBtn4Click);
    connect(BitBtn5, &QToolButton::clicked, this, &TChybyForm::BitBtn5Click);
    connect(LupaSButt, &QToolButton::clicked, this, &TChybyForm::LupaSButtClick);
    connect(ExportBitBtn, &QToolButton::clicked, this, &TChybyForm::ExportBitBtnClick);
    connect(SpravaBitBtn, &QToolButton::clicked, this, &TChybyForm::SpravaBitBtnClick);
    connect(MapaBitBtn, &QToolButton::clicked, this, &TChybyForm::MapaBitBtnClick);
    connect(ComboBox3, &QComboBox::activated, this, [this](int) { ComboBox3Change(); });
    connect(VynimkaBitBtn, &QToolButton::clicked, this, &TChybyForm::VynimkaBitBtnClick);
    connect(ZnovaBitBtn, &QToolButton::clicked, this, &TChybyForm::ZnovaBitBtnClick);
    auto* except = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this);
    connect(except, &QShortcut::activated, this, &TChybyForm::VynimkaBitBtnClick);
    // Ctrl+A selects every row shown from anywhere in the window (the search box keeps its
    // own Ctrl+A for its text).
    auto* all = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_A), this);
    connect(all, &QShortcut::activated, this, [this] { DBGrid->selectAll(); });
    connect(DBGrid, &QTableView::doubleClicked, this, [this](const QModelIndex&) { BitBtn2Click(); });
    connect(KoniecBitBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(NavFirst, &QToolButton::clicked, this, [this] { SetCurrentRow(0); });
    connect(NavPrior, &QToolButton::clicked, this, [this] { SetCurrentRow(std::max(0, CurrentRow() - 1)); });
    connect(NavNext, &QToolButton::clicked, this,
            [this] { SetCurrentRow(std::min(FModel->rowCount() - 1, CurrentRow() + 1)); });
    connect(NavLast, &QToolButton::clicked, this, [this] { SetCurrentRow(FModel->rowCount() - 1); });
    connect(DBGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex&, const QModelIndex&) {
                DataSourceDataChange();
                // An open map view follows the current row.
                if (FMapView && FMapView->isVisible()) ShowInMapView(false, false);
            });
    connect(DBGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const int row = CurrentRow();
        const int selected = static_cast<int>(SelectedRows().size());
        Label4->setText(row >= 0 ? QString::fromStdString(RecordCounterText(row + 1, FModel->rowCount(), selected))
                                 : QString());
    });
    connect(FModel, &QAbstractItemModel::modelReset, this, &TChybyForm::DataSourceDataChange);
}

TChybyForm::~TChybyForm() = default;

void TChybyForm::SetTableDirectory(const std::string& dir) { FTable.SetDatabaseName(IncludeTrailingDelimiter(dir)); }

void TChybyForm::OpenChybyTable() {
    // The table is read whole; the filters of the last display no longer apply.
    FTable.SetFiltered(false);
    FTable.SetFilter("");
    FModel->ResetRowFilter();
    FModel->ResetStatusFilter();
    FTable.Open();
    LoadReview();
    FModel->Reload();
    FFresh = true;
}

std::string TChybyForm::FilterExpression() const { return FModel->RowFilter().Expression(); }

std::string TChybyForm::TableMapDir() const { return IncludeTrailingDelimiter(FTable.DatabaseName()); }

void TChybyForm::LoadExceptionRows(std::vector<std::string>& problems) {
    const std::string dir = TableMapDir();
    std::vector<TErrorTableModel::TExceptionRow> rows;
    try {
        std::vector<review::TReviewException> kept = review::LoadExceptions(dir);
        // Each block read once for the states of its exceptions.
        std::vector<std::size_t> order(kept.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return kept[a].Block < kept[b].Block; });
        std::vector<std::string> states(kept.size());
        review::TFingerprints fingerprints;
        for (const std::size_t i : order) {
            const review::TReviewException& e = kept[i];
            const auto fp = fingerprints.Of(dir + e.Block, e.Group, e.Number);
            states[i] = !fp ? "prvok už neexistuje" : *fp == e.Fingerprint ? "platí" : "neplatí, prvok sa zmenil";
        }
        for (std::size_t i = 0; i < kept.size(); ++i) rows.push_back({std::move(kept[i]), std::move(states[i])});
    } catch (const std::exception& e) {
        problems.push_back(UserMessage(e));
    }
    FModel->SetExceptions(std::move(rows));
}

void TChybyForm::LoadReview() {
    const std::string dir = TableMapDir();
    std::vector<std::string> problems;
    FModel->SetStatuses(review::LatestStatuses(dir, problems));
    LoadExceptionRows(problems);
    std::string notice = FTable.Active() ? review::StaleTableNotice(dir, FTable.FilePath()) : std::string();
    for (const std::string& p : problems) notice += (notice.empty() ? "" : "\r") + p;
    StavLabel->setText(MessageText(notice));
    StavLabel->setVisible(!notice.empty());
}

bool TChybyForm::ShowModalFor(const std::string& dir) {
    SetTableDirectory(dir);
    try {
        if (!FTable.Active()) OpenChybyTable();
    } catch (const std::exception& e) {
        FEnv.Messages->Show(TMsgType::Error, UserMessage(e));
        return false;
    }
    exec();
    return true;
}

void TChybyForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    Guarded([&] {
        ResetFilterBoxes();
        if (!FTable.Active()) {
            OpenChybyTable();
        } else if (!FFresh) {
            // Opened earlier and shown again: the file may have changed meanwhile.
            FTable.Refresh();
            FModel->ResetRowFilter();
            FModel->ResetStatusFilter();
            LoadReview();
            FModel->Reload();
        }
        FFresh = false;
        if (FMainWindow) FMainWindow->hide();
        FillBlocks();
        LayOutColumns();
        EnableRecordControls();
        SetCurrentRow(0);
        DBGrid->setFocus();
    });
}

// The columns in the order of the table with the code ("Id") shown, the text column last and
// stretched, the others as wide as their contents; the widths the user left last time over
// that. Done at each display and after "Skontrolovať znova" (a reloaded model resets them).
void TChybyForm::LayOutColumns() {
    QHeaderView* header = DBGrid->horizontalHeader();
    for (int c = 0; c < FModel->columnCount(); ++c) {
        DBGrid->setColumnHidden(c, false);
        header->moveSection(header->visualIndex(c), c);
    }
    const int text = FModel->ColumnOf("Chyba");
    if (text >= 0) header->moveSection(header->visualIndex(text), FModel->columnCount() - 1);
    for (int c = 0; c < FModel->columnCount(); ++c)
        if (c != text) DBGrid->resizeColumnToContents(c);
    if (FColumnWidths.isEmpty() && !FEnv.SettingsFile.empty())
        FColumnWidths =
            QSettings(QString::fromStdString(FEnv.SettingsFile), QSettings::IniFormat).value("browser/columns").toList();
    if (FColumnWidths.size() == FModel->columnCount())
        for (int c = 0; c < FModel->columnCount(); ++c)
            if (c != text && FColumnWidths[c].toInt() > 0) DBGrid->setColumnWidth(c, FColumnWidths[c].toInt());
}

void TChybyForm::SaveLayout() {
    if (FModel->columnCount() > 0) {
        FColumnWidths.clear();
        for (int c = 0; c < FModel->columnCount(); ++c) FColumnWidths << DBGrid->columnWidth(c);
    }
    if (FEnv.SettingsFile.empty()) return;
    QSettings settings(QString::fromStdString(FEnv.SettingsFile), QSettings::IniFormat);
    settings.setValue("browser/geometry", saveGeometry());
    if (!FColumnWidths.isEmpty()) settings.setValue("browser/columns", FColumnWidths);
}

void TChybyForm::hideEvent(QHideEvent* e) {
    QDialog::hideEvent(e);
    // The size and the column widths the user left, for the next display and the next start.
    SaveLayout();
    if (FMapView) {
        // The blocks may change before the next display (a GIS edits them): read them again then.
        FMapView->hide();
        FMapView->View().CloseBlock();
    }
    FTable.Close();
    FModel->Clear();
    if (FMainWindow) {
        FMainWindow->show();
        FMainWindow->raise();
        FMainWindow->activateWindow();
    }
}

bool TChybyForm::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Shape1 || watched == Label1) && event->type() == QEvent::MouseButtonPress) {
        Shape1MouseDown();
        return true;
    }
    // Enter in the search applies it at once (and does not close the window).
    if (watched == HladatEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            HladatEditChange();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

int TChybyForm::CurrentRow() const {
    const QModelIndex i = DBGrid->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void TChybyForm::SetCurrentRow(int row) {
    if (row < 0 || row >= FModel->rowCount()) {
        DataSourceDataChange();
        return;
    }
    const int col = FModel->columnCount() > 1 ? 1 : 0;
    DBGrid->setCurrentIndex(FModel->index(row, col));
    DBGrid->selectRow(row);
    DataSourceDataChange();
}

std::vector<int> TChybyForm::SelectedRows() const {
    std::vector<int> rows;
    for (const QItemSelectionRange& range : DBGrid->selectionModel()->selection())
        for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty() && CurrentRow() >= 0) rows.push_back(CurrentRow());
    return rows;
}

void TChybyForm::EnableRecordControls() {
    const bool exceptions = FModel->StatusFilter() == TErrorTableModel::ExceptionsOnly;
    const bool any = FTable.Active() && FModel->rowCount() > 0;
    DBNavigator1->setEnabled(any);
    BitBtn1->setEnabled(any && !exceptions);
    BitBtn2->setEnabled(any);
    MapaBitBtn->setEnabled(any);
    VynimkaBitBtn->setEnabled(any);
    VynimkaBitBtn->setToolTip(QString::fromUtf8(exceptions ? "Zrušiť výnimku, výnimky vybraných riadkov (Ctrl+N)"
                                                           : "Nie je chyba: výnimka s dôvodom pre vybrané riadky (Ctrl+N)"));
    ZnovaBitBtn->setEnabled(any && FRecheck != nullptr);
}

void TChybyForm::ComboBox3Change() {
    Guarded([&] {
        FModel->SetStatusFilter(ComboBox3->currentIndex());
        DBGrid->resizeColumnToContents(FModel->StatusColumn());  // the exceptions' reasons are longer
        SetCurrentRow(0);
        EnableRecordControls();
    });
}

// The current finding becomes an exception with the reason the user gives, and leaves the
// table; in "výnimky" the current exception is removed.
void TChybyForm::VynimkaBitBtnClick() {
    if (CurrentRow() < 0 || !FTable.Active()) return;
    const std::vector<int> rows = SelectedRows();
    Guarded([&] {
        if (FModel->StatusFilter() == TErrorTableModel::ExceptionsOnly)
            RemoveExceptionRows(rows);
        else
            ExceptRows(rows);
    });
}

void TChybyForm::RemoveExceptionRows(const std::vector<int>& rows) {
    std::vector<std::string> keys;
    std::string named;
    for (const int row : rows)
        if (const review::TReviewException* e = FModel->ExceptionOf(row)) {
            keys.push_back(e->Key());
            named = review::FindingText(e->Block, e->Group, e->Number, e->Code) + ", " + e->Text;
        }
    if (keys.empty()) return;
    const std::string question = keys.size() == 1 ? "Zrušiť výnimku?\r(" + named + ")"
                                                   : Format("Zrušiť výnimky vybraných riadkov (%zu)?", keys.size());
    if (FEnv.Messages->Show(TMsgType::Question, question) != TMsgResult::Yes) return;
    review::RemoveExceptions(TableMapDir(), keys);
    std::vector<std::string> problems;
    LoadExceptionRows(problems);
    for (const std::string& p : problems) FEnv.Messages->Show(TMsgType::Error, p);
    RowsGone(rows.front());
}

void TChybyForm::ExceptRows(const std::vector<int>& rows) {
    const std::string dir = TableMapDir();
    struct TChosen {
        int Row;
        TErrorRecord Record;
        std::string Table;
    };
    std::vector<TChosen> chosen;
    std::vector<std::string> untold;  // table findings whose table the history cannot tell
    for (const int row : rows) {
        const TFldValList* values = FModel->ValuesOf(row);
        if (!values) continue;
        TChosen c{row, gisexport::ErrorRecordOf(*values), {}};
        const TErrorRecord& r = c.Record;
        // A table finding's exception names its table: this row's, not every one of its code.
        if (DatabaseFindingKind(r.Prvok.empty() ? '\0' : r.Prvok[0]) &&
            FindingRow(*DatabaseFindingKind(r.Prvok[0])).Code == r.Id) {
            const std::optional<review::TRunFinding> h = HistoryFindingOf(row);
            c.Table = h && !h->Table.empty() ? h->Table : review::TableOfText(r.Chyba);
            if (c.Table.empty()) {
                untold.push_back(review::FindingText(r.Blok, r.Prvok, r.Cislo, r.Id));
                continue;
            }
        }
        chosen.push_back(std::move(c));
    }
    if (chosen.empty() && rows.size() == 1 && untold.size() == 1) {
        FEnv.Messages->Show(TMsgType::Warning,
                            "Tabuľku tejto chyby nevie história mapy určiť; výnimku dajte cez vexa-review "
                            "except ... --table TABUĽKA.");
        return;
    }
    if (chosen.empty()) {
        FEnv.Messages->Show(TMsgType::Warning, Format("Tabuľky vybraných chýb (%zu) nevie história mapy určiť; výnimky "
                                                      "dajte cez vexa-review except ... --table TABUĽKA.",
                                                      untold.size()));
        return;
    }
    std::string question;
    if (chosen.size() == 1) {
        const TErrorRecord& r = chosen.front().Record;
        const std::string& table = chosen.front().Table;
        question = "Prečo to nie je chyba?\r(" + review::FindingText(r.Blok, r.Prvok, r.Cislo, r.Id) +
                   (table.empty() ? "" : " tabuľka " + table) + ", " + r.Chyba + ")";
    } else {
        // One reason for every row selected: the first few named.
        std::string named;
        for (std::size_t i = 0; i < chosen.size() && i < 3; ++i) {
            const TErrorRecord& r = chosen[i].Record;
            named += (i ? "; " : "") + review::FindingText(r.Blok, r.Prvok, r.Cislo, r.Id) + ", " + r.Chyba;
        }
        question = Format("Prečo to nie sú chyby? Jeden dôvod pre všetky vybrané (%zu).\r(", chosen.size()) + named +
                   (chosen.size() > 3 ? "; ..." : "") + ")";
    }
    if (!untold.empty())
        question += Format("\rChyby tabuliek, ktorých tabuľku história mapy nevie určiť (%zu), zostanú bez výnimky.",
                           untold.size());
    const auto reason = FEnv.Dialogs->AskText("Nie je chyba", question);
    if (!reason) return;
    if (Trim(*reason).empty()) {
        FEnv.Messages->Show(TMsgType::Warning, "Výnimka potrebuje dôvod.");
        return;
    }
    WaitCursorGuard cursor(*FEnv.App, TCursorKind::Wait);
    // Each block read once for the fingerprints of its elements.
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const TChosen& a, const TChosen& b) { return a.Record.Blok < b.Record.Blok; });
    std::vector<review::TReviewException> exceptions;
    std::vector<int> recNos;
    std::vector<std::string> gone;  // elements that no longer exist
    review::TFingerprints fingerprints;
    for (const TChosen& c : chosen) {
        const TErrorRecord& r = c.Record;
        try {
            review::TReviewException e = review::MakeException(dir, r.Blok, r.Vrstva, r.Prvok, r.Druh, r.Cislo, r.Id,
                                                               r.Chyba, Trim(*reason), &fingerprints);
            e.Table = c.Table;
            exceptions.push_back(std::move(e));
            recNos.push_back(FModel->RecNoOf(c.Row));
        } catch (const std::exception& e) {
            if (chosen.size() == 1) throw;
            gone.push_back(review::FindingText(r.Blok, r.Prvok, r.Cislo, r.Id));
        }
    }
    // One rewrite of the exceptions for all of them; nothing is deleted when it fails.
    review::AddExceptions(dir, exceptions);
    // Left out from now on: the rows leave the table as deleted findings do.
    const int first = rows.front();
    FTable.DeleteRecords(recNos);
    FModel->RemoveRecords(recNos);
    std::vector<std::string> problems;
    LoadExceptionRows(problems);
    RowsGone(first);
    if (!gone.empty()) {
        std::string names;
        for (std::size_t i = 0; i < gone.size() && i < 10; ++i) names += (i ? ", " : "") + gone[i];
        FEnv.Messages->Show(TMsgType::Warning,
                            Format("Prvky niektorých vybraných chýb (%zu) už neexistujú; tieto zostali bez výnimky:\r", gone.size()) +
                                names + (gone.size() > 10 ? ", ..." : ""));
    }
    for (const std::string& p : problems) FEnv.Messages->Show(TMsgType::Error, p);
}

void TChybyForm::RowsGone(int row) {
    SetCurrentRow(std::min(row, FModel->rowCount() - 1));
    EnableRecordControls();
}

void TChybyForm::ZnovaBitBtnClick() {
    const int row = CurrentRow();
    if (row < 0 || !FRecheck || !FTable.Active()) return;
    const std::string block = ValueText(FModel->FieldOf(row, "Blok"));
    if (block.empty()) return;
    Guarded([&] {
        // The table is rewritten by the run: closed meanwhile, read again with its statuses
        // and the columns as they were.
        SaveLayout();
        FTable.Close();
        FModel->Clear();
        struct Reopen {
            TChybyForm& Form;
            ~Reopen() {
                Form.ResetFilterBoxes();
                try {
                    Form.OpenChybyTable();
                } catch (...) {
                }
                Form.FFresh = false;
                Form.FillBlocks();
                Form.LayOutColumns();
                Form.SetCurrentRow(0);
                Form.EnableRecordControls();
            }
        } reopen{*this};
        FRecheck(block);
    });
}

std::optional<review::TRunFinding> TChybyForm::HistoryFindingOf(int row) {
    const TFldValList* values = FModel->ValuesOf(row);
    const int recNo = FModel->RecNoOf(row);
    if (!values || recNo == 0 || !FTable.Active()) return std::nullopt;
    const TErrorRecord r = gisexport::ErrorRecordOf(*values);
    const std::vector<review::TRunFinding> like =
        review::LatestFindingsLike(TableMapDir(), r.Blok, r.Prvok, r.Cislo, r.Id, r.Chyba);
    if (like.empty()) return std::nullopt;
    if (like.size() == 1) return like.front();
    // The rows like it come in the order the run wrote them.
    std::size_t before = 0;
    TFldValList v;
    for (FTable.First(); !FTable.Eof() && FTable.RecNo() != recNo; FTable.Next()) {
        FTable.GetValues(v);
        const TErrorRecord o = gisexport::ErrorRecordOf(v);
        if (o.Blok == r.Blok && o.Prvok == r.Prvok && o.Cislo == r.Cislo && o.Id == r.Id && o.Chyba == r.Chyba) ++before;
    }
    if (before >= like.size()) return std::nullopt;
    return like[before];
}

void TChybyForm::FillBlocks() {
    ComboBox4->clear();
    ComboBox4->addItem(QString::fromUtf8("všetky"));
    // The block as the table holds it rides with its item (the text shown is only its picture).
    for (const std::string& block : FModel->Blocks())
        ComboBox4->addItem(QString::fromStdString(block), QByteArray::fromStdString(block));
    ComboBox4->setCurrentIndex(0);
}

void TChybyForm::ResetFilterBoxes() {
    FSearchTimer->stop();
    ComboBox1->setCurrentIndex(0);
    ComboBox2->clear();
    ComboBox2->setCurrentIndex(-1);
    ComboBox2->setEnabled(false);
    Label3->setEnabled(false);
    ComboBox3->setCurrentIndex(0);
    ComboBox4->setCurrentIndex(0);
    HladatEdit->blockSignals(true);
    HladatEdit->clear();
    HladatEdit->blockSignals(false);
}

void TChybyForm::ComboBox4Change() {
    Guarded([&] { ApplyFilter(); });
}

void TChybyForm::HladatEditChange() {
    Guarded([&] { ApplyFilter(); });
}

// The group, type, block and search boxes together, over the rows read.
void TChybyForm::ApplyFilter() {
    FSearchTimer->stop();
    if (!FTable.Active()) return;
    const int group = ComboBox1->currentIndex();
    const int type = group > 0 ? ComboBox2->currentIndex() : 0;
    const std::string block =
        ComboBox4->currentIndex() > 0 ? ComboBox4->currentData().toByteArray().toStdString() : std::string();
    FModel->SetRowFilter(TErrorRowFilter::Of(group, type, block, HladatEdit->text().toStdString()));
    SetCurrentRow(0);
    EnableRecordControls();
}

void TChybyForm::ComboBox1Change() {
    Guarded([&] {
        const int group = ComboBox1->currentIndex();
        ComboBox2->clear();
        ComboBox2->setEnabled(group != 0);
        Label3->setEnabled(group != 0);
        if (group == 0) {
            ComboBox2->setEditText(QString());
        } else {
            for (const auto& item : TypeItems(group)) ComboBox2->addItem(QString::fromStdString(item));
        }
        ComboBox2->setCurrentIndex(group == 0 ? -1 : 0);
        ApplyFilter();
    });
}

void TChybyForm::ComboBox2Change() {
    const int group = ComboBox1->currentIndex();
    if (group <= 0) return;
    Guarded([&] { ApplyFilter(); });
}

void TChybyForm::DataSourceDataChange() {
    const int row = CurrentRow();
    const bool any = FTable.Active() && FModel->rowCount() > 0 && row >= 0;
    // Counted within the rows shown: with a filter, "1/1" for its one row, not the whole table's.
    Label4->setText(any ? QString::fromStdString(RecordCounterText(row + 1, FModel->rowCount(),
                                                                   static_cast<int>(SelectedRows().size())))
                        : QString());
    const int last = FModel->rowCount() - 1;
    NavFirst->setEnabled(any && row > 0);
    NavPrior->setEnabled(any && row > 0);
    NavNext->setEnabled(any && row < last);
    NavLast->setEnabled(any && row < last);
    // A table finding's status line: its table and what it found wrong, from the history.
    std::string detail;
    if (any && FModel->StatusFilter() != TErrorTableModel::ExceptionsOnly) {
        const std::string prvok = ValueText(FModel->FieldOf(row, "Prvok"));
        const std::optional<TFindingKind> k = DatabaseFindingKind(prvok.empty() ? '\0' : prvok[0]);
        const std::optional<std::int32_t> id = review::IntegerOf(FModel->FieldOf(row, "Id"));
        if (k && id && FindingRow(*k).Code == *id) {
            try {
                if (const auto h = HistoryFindingOf(row)) {
                    detail = h->Table;
                    if (!h->Detail.empty()) detail += (detail.empty() ? "" : ": ") + h->Detail;
                }
            } catch (const std::exception&) {
            }
        }
    }
    DetailLabel->setText(QString::fromStdString(detail));
    DetailLabel->setVisible(!detail.empty());
}

// Deletes the rows selected from the table; more than one only after a question.
void TChybyForm::BitBtn1Click() {
    Guarded([&] {
        if (!FTable.Active() || CurrentRow() < 0) return;
        const std::vector<int> rows = SelectedRows();
        if (rows.size() > 1 &&
            FEnv.Messages->Show(TMsgType::Question, Format("Zmazať vybrané záznamy z tabuľky chýb (%zu)?", rows.size())) !=
                TMsgResult::Yes)
            return;
        std::vector<int> recNos;
        for (const int row : rows)
            if (const int recNo = FModel->RecNoOf(row)) recNos.push_back(recNo);
        if (recNos.empty()) return;
        FTable.DeleteRecords(recNos);
        FModel->RemoveRecords(recNos);
        RowsGone(rows.front());
    });
}

void TChybyForm::ShowCurrentError(bool forceZoom) {
    // Without a GIS link the map view takes the request and comes forward.
    if (!FEnv.Dde || !FEnv.Dde->Available()) {
        ShowInMapView(forceZoom, true);
        return;
    }
    const int row = CurrentRow();
    if (row < 0) return;
    const auto request = ShowRequestFor(FMapDir ? FMapDir() : std::string(), FModel->FieldOf(row, "Cislo"),
                                        FModel->FieldOf(row, "Blok"), FModel->FieldOf(row, "Prvok"));
    if (!request) return;
    if (FMapView && FMapView->isVisible()) ShowInMapView(forceZoom, false);
    Guarded([&] {
        ShowInGis(*FEnv.Dde, *FEnv.System, *FEnv.App, *request, FScale.Scale(), ToTColor(FColour),
                  forceZoom || FScale.Zoom());
    });
    activateWindow();
    setFocus();
}

bool TChybyForm::ShowInMapView(bool forceZoom, bool create) {
    const int row = CurrentRow();
    if (row < 0) return false;
    const TValue blok = FModel->FieldOf(row, "Blok");
    const auto request = ShowRequestFor(FMapDir ? FMapDir() : std::string(), FModel->FieldOf(row, "Cislo"), blok,
                                        FModel->FieldOf(row, "Prvok"));
    if (!request) return false;
    if (!FMapView) {
        if (!create) return false;
        FMapView = new TMapViewForm(this);
        FMapView->SetMarkColour(FColour);
        // Beside the browser, above it where the screen has room.
        FMapView->move(std::max(x() - 40, 0), std::max(y() - FMapView->height() - 40, 0));
    }
    // Asked for: the window comes forward (before the drawing, which fits its size).
    if (create) FMapView->BringForward();
    // The other findings of the block among the rows shown.
    const std::string block = ValueText(blok);
    std::vector<render::TElementRef> others;
    for (int r = 0; r < FModel->rowCount(); ++r) {
        if (r == row || ValueText(FModel->FieldOf(r, "Blok")) != block) continue;
        const auto other = ShowRequestFor(std::string(), FModel->FieldOf(r, "Cislo"), FModel->FieldOf(r, "Blok"),
                                          FModel->FieldOf(r, "Prvok"));
        if (other) others.push_back({ElementGroupOfKind(other->Kind), other->Number});
    }
    FMapView->ShowFinding(request->BlockPath, {ElementGroupOfKind(request->Kind), request->Number}, std::move(others),
                          FScale.Scale(), forceZoom || FScale.Zoom());
    return true;
}

void TChybyForm::MapaBitBtnClick() { ShowInMapView(false, true); }

void TChybyForm::BitBtn2Click() {
    FScale.ShowAtScaleOne();
    ShowCurrentError();
}

void TChybyForm::BitBtn3Click() {
    FScale.ZoomIn();
    ShowCurrentError();
}

void TChybyForm::BitBtn4Click() {
    FScale.ZoomOut();
    ShowCurrentError();
}

void TChybyForm::BitBtn5Click() {
    FScale.ShowAtScaleOne();
    ShowCurrentError(true);
}

void TChybyForm::LupaSButtClick() {
    if (FScale.SetZoom(LupaSButt->isChecked())) ShowCurrentError();
    BitBtn3->setEnabled(FScale.ZoomButtonsEnabled());
    BitBtn4->setEnabled(FScale.ZoomButtonsEnabled());
}

// The rows the grid shows (under its filter), their places read from the blocks of the
// table's directory, written as GIS layers to a file the user names.
void TChybyForm::ExportBitBtnClick() {
    if (!FTable.Active()) return;
    const std::string dir = IncludeTrailingDelimiter(FTable.DatabaseName());
    const auto file = FEnv.Dialogs->SaveFile(dir + "Chyby.gpkg", gisexport::GisFileFilter(), "Export chýb do GIS");
    if (!file) return;
    Guarded([&] {
        WaitCursorGuard cursor(*FEnv.App, TCursorKind::Wait);
        const std::vector<TErrorRecord> records = ShownRecords();
        const int count = static_cast<int>(records.size());
        // Each row placed in its block and written as it comes.
        const auto written = gisexport::ExportFindings(*file, gisexport::kDefaultCrs, [&](IFindingSink& sink) {
            gisexport::ForEachPlacedFinding(dir, records, [&](const TFinding& f) { sink.Add(f); });
        });
        std::string names;
        for (const std::string& w : written) names += (names.empty() ? "" : ", ") + ExtractFileName(w);
        FEnv.Messages->Show(TMsgType::Information,
                            Format("Exportovaných chýb: %d\r(%s)", count, names.c_str()));
    });
}

std::vector<TErrorRecord> TChybyForm::ShownRecords() const {
    std::vector<TErrorRecord> records;
    for (int row = 0; row < FModel->rowCount(); ++row)
        if (const TFldValList* values = FModel->ValuesOf(row)) records.push_back(gisexport::ErrorRecordOf(*values));
    return records;
}

std::optional<int> ReportFindingsChoice(const std::string& answer) {
    const std::string choice = Trim(answer);
    if (choice.rfind("všetky", 0) == 0) return report::kAllFindings;
    if (choice.rfind("len súhrn", 0) == 0) return 0;
    return report::ParseFindingsPerBlock(choice.substr(0, choice.find(' ')));
}

void WriteAndOpenReport(TFormsEnv& env, const std::string& mapDir, const std::vector<TErrorRecord>& records) {
    const auto file = env.Dialogs->SaveFile(mapDir + "Sprava.html", "Stránky HTML|*.html", "Správa o kontrole");
    if (!file) return;
    // The same choice as vexa-check --report-findings: a count per block, all, or none.
    const std::string byDefault = std::to_string(report::kDefaultReportFindings) + " chýb z každého bloku";
    const auto answer = env.Dialogs->AskChoice("Správa o kontrole", "Koľko chýb z každého bloku správa vypíše?",
                                               {byDefault, "všetky chyby", "len súhrn (bez zoznamu chýb)"}, 0);
    if (!answer) return;
    const std::optional<int> perBlock = ReportFindingsChoice(*answer);
    if (!perBlock) {
        env.Messages->Show(TMsgType::Error, "Neplatný počet chýb na blok: " + *answer + "\r(číslo od 0, \"všetky\" alebo \"len súhrn\")");
        return;
    }
    WaitCursorGuard cursor(*env.App, TCursorKind::Wait);
    report::CheckReportPath(*file);
    report::TReport page = report::ReportOfTable(mapDir, gisexport::PlaceFindings(mapDir, records));
    page.FindingsPerBlock = *perBlock;
    report::WriteReport(std::move(page), mapDir, *file, report::kDefaultReportImages);
    if (!env.Dialogs->OpenInBrowser(*file))
        env.Messages->Show(TMsgType::Information, "Správa bola zapísaná\r(" + *file + ")");
}

void TChybyForm::SpravaBitBtnClick() {
    if (!FTable.Active()) return;
    Guarded([&] { WriteAndOpenReport(FEnv, IncludeTrailingDelimiter(FTable.DatabaseName()), ShownRecords()); });
}

void TChybyForm::Shape1MouseDown() {
    const auto colour = FEnv.Dialogs->ChooseColour(FColour);
    if (!colour) return;
    FColour = *colour;
    if (FMapView) FMapView->SetMarkColour(FColour);
    QPalette shape = Shape1->palette();
    shape.setColor(QPalette::Window, FColour);
    Shape1->setPalette(shape);
    Label1->setPalette(shape);
}

}  // namespace vexa

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
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <set>

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
    DBGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The columns fill the width: the text column, placed last, takes what the others leave.
    DBGrid->horizontalHeader()->setStretchLastSection(true);
    DBGrid->verticalHeader()->setDefaultSectionSize(18);
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
    top->addStretch(1);
    top->addWidget(Label4);
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
    connect(FModel, &QAbstractItemModel::modelReset, this, &TChybyForm::DataSourceDataChange);
}

TChybyForm::~TChybyForm() = default;

void TChybyForm::SetTableDirectory(const std::string& dir) { FTable.SetDatabaseName(IncludeTrailingDelimiter(dir)); }

void TChybyForm::OpenChybyTable() {
    // The filters of the last display no longer apply.
    FTable.SetFiltered(false);
    FTable.SetFilter("");
    FTable.Open();
    LoadReview();
    FModel->Reload();
}

std::string TChybyForm::TableMapDir() const { return IncludeTrailingDelimiter(FTable.DatabaseName()); }

void TChybyForm::LoadReview() {
    const std::string dir = TableMapDir();
    std::vector<std::string> problems;
    FModel->SetStatuses(review::LatestStatuses(dir, problems));
    std::vector<TErrorTableModel::TExceptionRow> rows;
    try {
        for (review::TReviewException& e : review::LoadExceptions(dir)) {
            const auto fp = review::ElementFingerprint(dir + e.Block, e.Group, e.Number);
            const std::string state = !fp ? "prvok už neexistuje" : *fp == e.Fingerprint ? "platí" : "neplatí, prvok sa zmenil";
            rows.push_back({std::move(e), state});
        }
    } catch (const std::exception& e) {
        problems.push_back(UserMessage(e));
    }
    FModel->SetExceptions(std::move(rows));
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
        if (!FTable.Active()) {
            OpenChybyTable();
        } else {
            FTable.Refresh();
        }
        if (FMainWindow) FMainWindow->hide();
        ComboBox1->setCurrentIndex(0);
        ComboBox2->setCurrentIndex(-1);
        ComboBox2->setEnabled(false);
        Label3->setEnabled(false);
        ComboBox3->setCurrentIndex(0);
        FModel->ResetStatusFilter();
        FTable.SetFiltered(false);
        FillBlocks();
        SetFilter(std::nullopt);
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

void TChybyForm::EnableRecordControls() {
    const bool exceptions = FModel->StatusFilter() == TErrorTableModel::ExceptionsOnly;
    const bool any = FTable.Active() && (exceptions ? FModel->rowCount() > 0 : FTable.VisibleCount() > 0);
    DBNavigator1->setEnabled(any);
    BitBtn1->setEnabled(any && !exceptions);
    BitBtn2->setEnabled(any);
    MapaBitBtn->setEnabled(any);
    VynimkaBitBtn->setEnabled(any);
    VynimkaBitBtn->setToolTip(QString::fromUtf8(exceptions ? "Zrušiť výnimku (Ctrl+N)"
                                                           : "Nie je chyba: výnimka s dôvodom (Ctrl+N)"));
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
    const int row = CurrentRow();
    if (row < 0 || !FTable.Active()) return;
    const std::string dir = TableMapDir();
    Guarded([&] {
        if (const review::TReviewException* e = FModel->ExceptionOf(row)) {
            if (FEnv.Messages->Show(TMsgType::Question, "Zrušiť výnimku?\r(" +
                                                            review::FindingText(e->Block, e->Group, e->Number, e->Code) +
                                                            ", " + e->Text + ")") != TMsgResult::Yes)
                return;
            review::RemoveException(dir, e->Key());
            LoadReview();
            FModel->Reload();
            SetCurrentRow(std::min(row, FModel->rowCount() - 1));
            EnableRecordControls();
            return;
        }
        const TFldValList* values = FModel->ValuesOf(row);
        if (!values) return;
        const TErrorRecord r = gisexport::ErrorRecordOf(*values);
        // A table finding's exception names its table: this row's, not every one of its code.
        std::string table;
        if (DatabaseFindingKind(r.Prvok.empty() ? '\0' : r.Prvok[0]) &&
            FindingRow(*DatabaseFindingKind(r.Prvok[0])).Code == r.Id) {
            const std::optional<review::TRunFinding> h = HistoryFindingOf(row);
            table = h && !h->Table.empty() ? h->Table : review::TableOfText(r.Chyba);
            if (table.empty()) {
                FEnv.Messages->Show(TMsgType::Warning,
                                    "Tabuľku tejto chyby nevie história mapy určiť; výnimku dajte cez vexa-review "
                                    "except ... --table TABUĽKA.");
                return;
            }
        }
        const auto reason = FEnv.Dialogs->AskText(
            "Nie je chyba", "Prečo to nie je chyba?\r(" + review::FindingText(r.Blok, r.Prvok, r.Cislo, r.Id) +
                                (table.empty() ? "" : " tabuľka " + table) + ", " + r.Chyba + ")");
        if (!reason) return;
        if (Trim(*reason).empty()) {
            FEnv.Messages->Show(TMsgType::Warning, "Výnimka potrebuje dôvod.");
            return;
        }
        review::TReviewException e =
            review::MakeException(dir, r.Blok, r.Vrstva, r.Prvok, r.Druh, r.Cislo, r.Id, r.Chyba, Trim(*reason));
        e.Table = table;
        review::AddException(dir, e);
        // Left out from now on: the row leaves the table as a deleted finding does.
        if (!FModel->PositionTable(row)) return;
        FTable.DeleteCurrent();
        LoadReview();
        FModel->Reload();
        SetCurrentRow(std::min(row, FModel->rowCount() - 1));
        EnableRecordControls();
    });
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
                try {
                    Form.OpenChybyTable();
                } catch (...) {
                }
                Form.ComboBox1->setCurrentIndex(0);
                Form.ComboBox2->clear();
                Form.ComboBox2->setEnabled(false);
                Form.Label3->setEnabled(false);
                Form.ComboBox3->setCurrentIndex(0);
                Form.FillBlocks();
                Form.FGroupExpression.reset();
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
    std::set<std::string> seen;
    for (int r = 0; r < FModel->rowCount(); ++r) {
        std::string block = ValueText(FModel->FieldOf(r, "Blok"));
        if (!block.empty() && seen.insert(block).second) ComboBox4->addItem(QString::fromStdString(block));
    }
    ComboBox4->setCurrentIndex(0);
}

void TChybyForm::ComboBox4Change() {
    Guarded([&] { SetFilter(FGroupExpression); });
}

// The group and type filter (or none) with the chosen block's term.
void TChybyForm::SetFilter(const std::optional<std::string>& expression) {
    if (!FTable.Active()) return;
    FGroupExpression = expression;
    std::optional<std::string> full = expression;
    const std::string block = ComboBox4->currentIndex() > 0 ? ComboBox4->currentText().toStdString() : std::string();
    if (!block.empty() && block.find('\'') == std::string::npos)
        full = (full ? *full + " and " : std::string()) + "Blok = '" + block + "'";
    FTable.SetFiltered(false);
    if (full) {
        FTable.SetFilter(*full);
        FTable.SetFiltered(true);
    }
    FModel->Reload();
    SetCurrentRow(0);
}

void TChybyForm::ComboBox1Change() {
    Guarded([&] {
        const int group = ComboBox1->currentIndex();
        ComboBox2->clear();
        ComboBox2->setEnabled(group != 0);
        Label3->setEnabled(group != 0);
        if (group == 0) {
            ComboBox2->setEditText(QString());
            SetFilter(std::nullopt);
        } else {
            for (const auto& item : TypeItems(group)) ComboBox2->addItem(QString::fromStdString(item));
            SetFilter(GroupFilter(group));
        }
        ComboBox2->setCurrentIndex(group == 0 ? -1 : 0);
    });
}

void TChybyForm::ComboBox2Change() {
    const int group = ComboBox1->currentIndex();
    if (group <= 0) return;
    Guarded([&] { SetFilter(TypeFilter(group, ComboBox2->currentIndex())); });
}

void TChybyForm::DataSourceDataChange() {
    const int row = CurrentRow();
    const bool any = FTable.Active() && FModel->rowCount() > 0 && row >= 0;
    // Counted within the rows shown: with a filter, "1/1" for its one row, not the whole table's.
    Label4->setText(any ? QString::fromStdString(RecordCounterText(row + 1, FModel->rowCount())) : QString());
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

void TChybyForm::BitBtn1Click() {
    Guarded([&] {
        const int row = CurrentRow();
        if (!FModel->PositionTable(row)) return;
        FTable.DeleteCurrent();
        FModel->Reload();
        SetCurrentRow(std::min(row, FModel->rowCount() - 1));
        EnableRecordControls();
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

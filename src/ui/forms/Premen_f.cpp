#include "ui/forms/Premen_f.h"

#include "common/Text.h"
#include "ui/BlockRename.h"
#include "ui/forms/Glyphs.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStyle>

namespace vexa {

namespace {
// The character a key event types, Backspace as 8; 0 for keys that type nothing.
char32_t TypedKey(const QKeyEvent* e) {
    if (e->key() == Qt::Key_Backspace) return 8;
    const QString t = e->text();
    if (t.isEmpty()) return 0;
    return t.toUcs4().value(0, 0);
}
}  // namespace

TPremForm::TPremForm(QWidget* parent) : QDialog(parent) {
    setObjectName("PremForm");
    setWindowTitle(QString::fromUtf8("Nové meno BLK"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    QFont f("MS Sans Serif");
    f.setPixelSize(13);
    setFont(f);
    QFont bold = f;
    bold.setBold(true);

    LabelOldName = new QLabel(this);
    LabelOldName->setObjectName("LabelOldName");
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setFont(bold);
    ComboBox1->lineEdit()->setMaxLength(static_cast<int>(kPrefixMaxLength));
    // Pasted text passes no key filter: the validators keep it to what the filters take.
    ComboBox1->setValidator(new QRegularExpressionValidator(QRegularExpression("[A-Za-z]{0,2}"), ComboBox1));
    ComboBox1->lineEdit()->installEventFilter(this);
    Shape1 = new QFrame(this);
    Shape1->setObjectName("Shape1");
    Shape1->setAutoFillBackground(true);
    QPalette black = Shape1->palette();
    black.setColor(QPalette::Window, Qt::black);
    Shape1->setPalette(black);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setFont(bold);
    Edit1->setMaxLength(static_cast<int>(kNumberMaxLength));
    Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression("[A-Za-z0-9]{0,5}"), Edit1));
    Edit1->installEventFilter(this);
    Label2 = new QLabel(".blk", this);
    Label2->setObjectName("Label2");
    QFont big = bold;
    big.setPixelSize(20);
    Label2->setFont(big);
    LabelResult = new QLabel(this);
    LabelResult->setObjectName("LabelResult");
    BitBtn1 = new QPushButton(ButtonGlyph(TButtonGlyph::Ok), QString::fromUtf8("&Potvrď"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(ButtonGlyph(TButtonGlyph::Delete), QString::fromUtf8("&Zruš"), this);
    BitBtn2->setObjectName("BitBtn2");

    // One row: prefix box, the bar standing for "_", number box, ".blk"; the right margin
    // equals the left one.
    const int left = 10, rowTop = 34, rowHeight = 24;
    const QFontMetrics fm(bold);
    const int comboWidth = fm.horizontalAdvance("MMM") - 1 + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    ComboBox1->setGeometry(left, rowTop, comboWidth, rowHeight);
    Shape1->setGeometry(left + comboWidth, rowTop + rowHeight / 2 + 2, 17, 5);
    const int editLeft = left + comboWidth + 17;
    Edit1->setGeometry(editLeft, rowTop, fm.horizontalAdvance("MMMMMMM"), rowHeight);
    const int labelLeft = editLeft + Edit1->width();
    Label2->adjustSize();
    Label2->move(labelLeft, rowTop + (rowHeight - Label2->height()) / 2);
    Edit1->clear();
    const int clientWidth = left + labelLeft + Label2->width();
    LabelOldName->setGeometry(left, 8, clientWidth - 2 * left, 20);
    LabelResult->setGeometry(left, rowTop + rowHeight + 6, clientWidth - 2 * left, 20);
    LabelResult->setWordWrap(false);
    const int height = 118 + 26, buttonWidth = 90, buttonTop = height - 8 - 28;
    BitBtn1->setGeometry(clientWidth / 2 - buttonWidth - 4, buttonTop, buttonWidth, 28);
    BitBtn2->setGeometry(clientWidth / 2 + 4, buttonTop, buttonWidth, 28);
    setFixedSize(clientWidth, height);
    if (QScreen* screen = QApplication::primaryScreen()) move(screen->geometry().center() - rect().center());

    connect(ComboBox1, &QComboBox::editTextChanged, this, &TPremForm::ComboBox1Change);
    connect(ComboBox1, &QComboBox::activated, this, [this](int) { ComboBox1Change(); });
    connect(Edit1, &QLineEdit::editingFinished, this, &TPremForm::Edit1Exit);
    connect(ComboBox1, &QComboBox::editTextChanged, this, &TPremForm::ShowResult);
    connect(Edit1, &QLineEdit::textChanged, this, &TPremForm::ShowResult);
    connect(BitBtn1, &QPushButton::clicked, this, &TPremForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TPremForm::SetPrefixItems(const std::vector<std::string>& items) {
    ComboBox1->clear();
    for (const auto& item : items) ComboBox1->addItem(QString::fromStdString(item));
}

void TPremForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    FormShow();
}

void TPremForm::FormShow() {
    FNewName.clear();
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(QString());
    Edit1->clear();
    ShowResult();
    ComboBox1->setFocus();
}

void TPremForm::ShowResult() {
    LabelResult->setText(QString::fromStdString(
        RenamePreview(ComboBox1->currentText().toStdString(), Trim(Edit1->text().toStdString()))));
}

bool TPremForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const char32_t typed = TypedKey(key);
    if (typed == 0 || typed == U'\r' || typed == U'\n' || typed == 27 || typed == U'\t') return false;
    if (watched == ComboBox1->lineEdit()) {
        const auto accepted = PrefixKey(typed);
        if (!accepted) {
            QApplication::beep();
            return true;
        }
        if (*accepted != typed) {  // a small letter typed: the capital goes in instead
            ComboBox1->lineEdit()->insert(QString::fromUcs4(&*accepted, 1));
            return true;
        }
        return false;
    }
    if (watched == Edit1) {
        if (!NumberKeyAccepted(typed)) {
            QApplication::beep();
            return true;
        }
        return false;
    }
    return QDialog::eventFilter(watched, event);
}

void TPremForm::ComboBox1Change() {
    if (ComboBox1->currentText().size() == static_cast<qsizetype>(kPrefixMaxLength)) Edit1->setFocus();
}

void TPremForm::Edit1Exit() { Edit1->setText(QString::fromStdString(Trim(Edit1->text().toStdString()))); }

void TPremForm::BitBtn1Click() {
    Edit1Exit();
    const auto name = ComposeBlockName(ComboBox1->currentText().toStdString(), Edit1->text().toStdString());
    if (!name) {
        // Nothing to rename to: the dialog stays, its line says why.
        ShowResult();
        QApplication::beep();
        return;
    }
    FNewName = *name;
    accept();
}

}  // namespace vexa

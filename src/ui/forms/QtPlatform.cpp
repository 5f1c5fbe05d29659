#include "ui/forms/QtPlatform.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QUrl>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QListView>
#include <QTreeView>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

namespace vexa {

namespace {

// Qt's Slovak catalog was written for Qt 5: Qt 6 asks for some texts under other
// contexts (the standard buttons under the platform theme, the file dialog's
// "Folder" kind under the file icon provider), so those are looked up where the
// catalog keeps them, without the mnemonic when only the plain text is translated.
// The few texts the catalog lacks altogether (the colour dialog's screen picker,
// a file's kind) come from the table below.
struct TContextFallback {
    const char* Asked;
    const char* Kept;
};
constexpr TContextFallback kContextFallbacks[] = {
    {"QPlatformTheme", "QDialogButtonBox"},
    {"QAbstractFileIconProvider", "QFileDialog"},
};

struct TOwnText {
    const char* Context;
    const char* Source;
    const char* Slovak;
};
constexpr TOwnText kOwnTexts[] = {
    {"QColorDialog", "&Pick Screen Color", "Farba z &obrazovky"},
    {"QColorDialog", "Cursor at %1, %2\nPress ESC to cancel", "Kurzor na %1, %2\nEsc výber zruší"},
    {"QAbstractFileIconProvider", "%1 File", "Súbor %1"},
};

class TQtBaseTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override {
        QString r = QTranslator::translate(context, source, disambiguation, n);
        if (!r.isEmpty() || !context || !source) return r;
        for (const TContextFallback& f : kContextFallbacks) {
            if (qstrcmp(context, f.Asked) != 0) continue;
            r = QTranslator::translate(f.Kept, source, disambiguation, n);
            if (r.isEmpty()) r = QTranslator::translate(f.Kept, QByteArray(source).replace("&", ""), disambiguation, n);
            if (!r.isEmpty()) return r;
        }
        for (const TOwnText& t : kOwnTexts)
            if (qstrcmp(context, t.Context) == 0 && qstrcmp(source, t.Source) == 0) return QString::fromUtf8(t.Slovak);
        return r;
    }
};

}  // namespace

bool InstallQtTranslations() {
    static QTranslator* installed = nullptr;
    if (installed) return true;
    auto translator = std::make_unique<TQtBaseTranslator>();
    if (!translator->load("qtbase_sk", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return false;
    // Owned by the application: it lives as long as the texts it gives.
    installed = translator.release();
    installed->setParent(QCoreApplication::instance());
    QCoreApplication::installTranslator(installed);
    return true;
}

QString MessageText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');
    return s;
}

TMsgResult TQtMessageBoxes::Show(TMsgType type, const std::string& text) {
    QWidget* parent = QApplication::activeWindow();
    const QString title = QApplication::applicationDisplayName();
    switch (type) {
    case TMsgType::Question:
        // Questions guard what cannot be undone: Enter answers "Nie".
        return QMessageBox::question(parent, title, MessageText(text), QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes
                   ? TMsgResult::Yes
                   : TMsgResult::No;
    case TMsgType::Warning: QMessageBox::warning(parent, title, MessageText(text)); break;
    case TMsgType::WarningForAll: {
        QMessageBox box(QMessageBox::Warning, title, MessageText(text), QMessageBox::Ok, parent);
        QPushButton* all = box.addButton(QString::fromUtf8(kOkForAll), QMessageBox::AcceptRole);
        all->setObjectName("OkForAll");
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
        return box.clickedButton() == all ? TMsgResult::OkForAll : TMsgResult::Ok;
    }
    case TMsgType::Error: QMessageBox::critical(parent, title, MessageText(text)); break;
    case TMsgType::Information: QMessageBox::information(parent, title, MessageText(text)); break;
    }
    return TMsgResult::Ok;
}

std::optional<std::string> TQtDialogs::ChooseDirectory(const std::string& startDir) {
    const QString dir =
        QFileDialog::getExistingDirectory(QApplication::activeWindow(), QString(), QString::fromStdString(startDir));
    if (dir.isEmpty()) return std::nullopt;
    return dir.toStdString();
}

namespace {

// "*.dbf|*.dbf": description and pattern as Qt writes it.
QString QtFilter(const std::string& filter) {
    QString qtFilter = QString::fromStdString(filter);
    const int bar = qtFilter.indexOf('|');
    if (bar >= 0) qtFilter = qtFilter.left(bar) + " (" + qtFilter.mid(bar + 1) + ")";
    return qtFilter;
}

}  // namespace

void MakeFileDialogReadable(QFileDialog& dialog) {
    // Qt's own dialog cuts its columns to fixed widths: the Slovak headers, the
    // dates and the places list ("Počítač") are shown whole.
    if (auto* details = dialog.findChild<QTreeView*>("treeView")) {
        details->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        details->header()->setStretchLastSection(false);
    }
    if (auto* places = dialog.findChild<QListView*>("sidebar"))
        places->setMinimumWidth(places->fontMetrics().horizontalAdvance(QStringLiteral("Počítač")) + 48);
}

std::optional<std::string> TQtDialogs::OpenFile(const std::string& fileName, const std::string& filter,
                                                const std::string& title) {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(title), QString(), QtFilter(filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.selectFile(QString::fromStdString(fileName));
    MakeFileDialogReadable(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> TQtDialogs::SaveFile(const std::string& fileName, const std::string& filter,
                                                const std::string& title) {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(title), QString(), QtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(QString::fromStdString(fileName));
    MakeFileDialogReadable(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> TQtDialogs::AskText(const std::string& title, const std::string& question) {
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), QString::fromStdString(title),
                                               MessageText(question), QLineEdit::Normal, QString(), &ok);
    if (!ok) return std::nullopt;
    return text.toStdString();
}

std::optional<std::string> TQtDialogs::AskChoice(const std::string& title, const std::string& question,
                                                 const std::vector<std::string>& items, int current) {
    QStringList list;
    for (const std::string& item : items) list << QString::fromStdString(item);
    bool ok = false;
    const QString text = QInputDialog::getItem(QApplication::activeWindow(), QString::fromStdString(title),
                                               MessageText(question), list, current, true, &ok);
    if (!ok) return std::nullopt;
    return text.toStdString();
}

bool TQtDialogs::OpenInBrowser(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

std::optional<QColor> TQtDialogs::ChooseColour(const QColor& initial) {
    const QColor c = QColorDialog::getColor(initial, QApplication::activeWindow());
    if (!c.isValid()) return std::nullopt;
    return c;
}

void TQtGauge::SetMinimum(int value) {
    if (FBar) FBar->setMinimum(value);
}
void TQtGauge::SetMaximum(int value) {
    if (FBar) FBar->setMaximum(value);
}
void TQtGauge::SetProgress(int value) {
    if (FBar) FBar->setValue(value);
}
int TQtGauge::Progress() const { return FBar ? FBar->value() : 0; }

void TQtAppWindows::ProcessMessages() { QCoreApplication::processEvents(); }

void TQtAppWindows::ShowWaitCursor(TCursorKind) { QApplication::setOverrideCursor(Qt::WaitCursor); }

void TQtAppWindows::RestoreCursor() { QApplication::restoreOverrideCursor(); }

std::vector<TAppWindow> TQtAppWindows::AppWindows() {
    std::vector<TAppWindow> result;
    for (const auto& w : FWindows)
        if (w) result.push_back(w.data());
    return result;
}

QWidget* TQtAppWindows::Find(TAppWindow window) const {
    for (const auto& w : FWindows)
        if (w && w.data() == window) return w.data();
    return nullptr;
}

TAppWindow TQtAppWindows::ActiveAppWindow() {
    QWidget* active = QApplication::activeWindow();
    return Find(active) ? active : nullptr;
}

void TQtAppWindows::EnableAppWindow(TAppWindow window, bool enable) {
    if (QWidget* w = Find(window)) w->setEnabled(enable);
}

void TQtAppWindows::FocusAppWindow(TAppWindow window) {
    if (QWidget* w = Find(window)) {
        w->activateWindow();
        w->setFocus();
    }
}

void TQtAppWindows::ShowMessage(const std::string& text, TMessageIcon icon) {
    const TMsgType type = icon == TMessageIcon::Warning ? TMsgType::Warning
                          : icon == TMessageIcon::Error ? TMsgType::Error
                                                        : TMsgType::Information;
    FMessages.Show(type, text);
}

void TQtAppWindows::TerminateApplication() {
    for (const auto& w : FWindows)
        if (w) w->close();
    QCoreApplication::quit();
}

}  // namespace vexa

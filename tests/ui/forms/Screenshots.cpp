// vexa_screenshots MAPDIR OUTDIR: shows the three windows on a copy of a map and
// saves a picture of each (vexa.png, chyby.png, premen.png), frame included when a
// window manager runs, and three more: a check box's tooltip (vexa-tooltip.png),
// the run with "blok n z m" (vexa-run.png), the enlarged browser (chyby-large.png) and the
// browser with its map view on a line, a point, a text and an area finding
// (chyby-mapa-line.png, -point, -text, -area); after a second run the browser with the
// findings' statuses (chyby-stav.png), the question for an exception's reason
// (chyby-vynimka.png) and the exceptions' filter (chyby-vynimky.png); the menu "Štandard"
// (vexa-standard.png), the block filter (chyby-blok.png), the search with the rows it keeps
// selected (chyby-hladat.png) and the question of one reason for them (chyby-vynimka-viac.png),
// and the unclean block's box with "OK pre všetky" (vexa-neocisteny.png).
// Run under Xvfb by scripts/screenshots.sh.
#include "common/FileNames.h"
#include "ui/SiblingTools.h"
#include "ui/forms/Chyby_f.h"
#include "ui/forms/ErrorTableModel.h"
#include "ui/forms/MapView_f.h"
#include "ui/forms/Premen_f.h"
#include "ui/forms/QtPlatform.h"
#include "ui/forms/Vexa_f.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QColorDialog>
#include <QFileDialog>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <filesystem>
#include <functional>
#include <iostream>
#include <tuple>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

// Messages go to the standard error; questions are answered "No".
struct LoggedMessages : IMessageBoxes {
    bool Shown = false;         // messages in real boxes, to be pictured
    std::string ShownIfStarts;  // or only those that start so
    bool ShownForAll = false;   // or the boxes with "OK pre všetky"
    TMsgResult Show(TMsgType type, const std::string& text) override {
        std::cerr << "message: " << MessageText(text).toStdString() << "\n";
        if (Shown || (!ShownIfStarts.empty() && text.rfind(ShownIfStarts, 0) == 0) ||
            (ShownForAll && type == TMsgType::WarningForAll))
            return TQtMessageBoxes().Show(type, text);
        return TMsgResult::No;
    }
};

struct NoDialogs : IDialogs {
    std::optional<std::string> ChooseDirectory(const std::string&) override { return std::nullopt; }
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<QColor> ChooseColour(const QColor&) override { return std::nullopt; }
    std::optional<std::string> SaveFile(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    // The question for an exception's reason is the real one: it is pictured.
    std::optional<std::string> AskText(const std::string& title, const std::string& question) override {
        return TQtDialogs().AskText(title, question);
    }
};

void Settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget* window, const std::string& file) {
    Settle(800);
    QRect frame = window->frameGeometry();
    QScreen* screen = window->screen();
    QPixmap shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (shot.isNull()) shot = window->grab();
    const bool ok = shot.save(QString::fromStdString(file));
    std::cerr << (ok ? "saved " : "could not save ") << file << " (" << shot.width() << "x" << shot.height() << ")\n";
    return ok;
}

// A part of the screen (several windows together).
bool SaveArea(const QRect& area, const std::string& file) {
    Settle(800);
    QPixmap shot = QApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const bool ok = !shot.isNull() && shot.save(QString::fromStdString(file));
    std::cerr << (ok ? "saved " : "could not save ") << file << " (" << shot.width() << "x" << shot.height() << ")\n";
    return ok;
}

// Calls action with the modal window once it is up.
void WhenModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start(20);
}

// Calls action with a modal window other than shown once it is up (a question over a dialog).
void WhenModalOver(QWidget* shown, std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action, shown] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == shown) return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start(20);
}

// The run's message loop passes: the first one with a block shown is pictured.
struct PicturedRun : TQtAppWindows {
    using TQtAppWindows::TQtAppWindows;
    std::function<bool()> OnBlock;  // true once it is done
    void ProcessMessages() override {
        TQtAppWindows::ProcessMessages();
        if (OnBlock && OnBlock()) OnBlock = nullptr;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The name is the message boxes' title; window captions stay exactly as set.
    QApplication::setApplicationName("Vexa");
    if (argc != 3) {
        std::cerr << "usage: vexa_screenshots MAPDIR OUTDIR\n";
        return 2;
    }
    // The run writes Chyby.DBF into the map: work on a copy.
    const fs::path map = fs::temp_directory_path() / "vexa-screenshots-map";
    fs::remove_all(map);
    fs::copy(argv[1], map, fs::copy_options::recursive);
    const std::string out = IncludeTrailingDelimiter(argv[2]);
    fs::create_directories(out);

    LoggedMessages messages;
    NoDialogs dialogs;
    PicturedRun appWindows(messages);
    auto dde = CreateNativeDdeClient();
    auto system = CreateNativeSystemWindows();
    TFormsEnv env{ProgramDir(), &messages, &dialogs, &appWindows, dde.get(), system.get(), "", ""};

    TVexaForm vexa(env);
    appWindows.AddWindow(&vexa);
    TChybyForm chyby(
        env, &vexa, [&vexa] { return vexa.MapaDir(); }, &vexa);
    appWindows.AddWindow(&chyby);
    TPremForm prem(&vexa);
    appWindows.AddWindow(&prem);
    vexa.SetForms(&chyby, &prem);
    vexa.show();
    vexa.OpenMap(map.string());
    for (const char* name :
         {"LinCBPripustnost", "LinCBKrivky", "LinCBMimoMBR", "LinCBDuplikatne", "LinCBDlzka", "BodCBPripustnost",
          "BodCBUhol", "TxbCBPripustnost", "TxbCBUhol", "PloCBPripustnost", "PloCBTopologia"})
        vexa.findChild<QCheckBox*>(name)->setChecked(true);
    vexa.LinEditDlzka->setText("0.5");
    vexa.BlkStringGrid->setFocus();

    int failures = 0;
    failures += !Save(&vexa, out + "vexa.png");

    // The menu "Štandard" open over the main window.
    {
        const QRect title = vexa.menuBar()->actionGeometry(vexa.MenuStandard->menuAction());
        vexa.MenuStandard->popup(vexa.menuBar()->mapToGlobal(title.bottomLeft()));
        Settle(500);
        failures += !SaveArea(vexa.frameGeometry().united(vexa.MenuStandard->geometry()), out + "vexa-standard.png");
        vexa.MenuStandard->hide();
    }

    // The tooltip of the lines' admissibility, over the main window.
    QCheckBox* pripustnost = vexa.findChild<QCheckBox*>("LinCBPripustnost");
    QToolTip::showText(pripustnost->mapToGlobal(QPoint(20, pripustnost->height())), pripustnost->toolTip(),
                       pripustnost);
    failures += !Save(&vexa, out + "vexa-tooltip.png");
    QToolTip::hideText();

    appWindows.OnBlock = [&] {
        if (vexa.LabelBlok->text().isEmpty()) return false;
        failures += !Save(&vexa, out + "vexa-run.png");
        return true;
    };

    // The run's end box comes first, then the error browser.
    const std::function<void(QWidget*)> browser = [&](QWidget* modal) {
        failures += !Save(modal, out + "chyby.png");
        modal->setGeometry(40, 60, 1000, 520);  // room on the screen for the enlarged window
        Settle(1500);  // the window system resizes the window first, then it is drawn anew
        modal->repaint();
        failures += !Save(modal, out + "chyby-large.png");
        // The map view beside the browser, for a line, a point, a text and an area finding.
        modal->setGeometry(40, 590, 760, 300);
        Settle(800);
        for (const auto& [letter, number, name] : {std::tuple{"L", 13, "line"}, std::tuple{"B", 3, "point"},
                                                   std::tuple{"T", 3, "text"}, std::tuple{"P", 2, "area"}}) {
            int row = -1;
            for (int r = 0; r < chyby.Model().rowCount() && row < 0; ++r)
                if (ValueText(chyby.Model().FieldOf(r, "Prvok")) == letter &&
                    ValueText(chyby.Model().FieldOf(r, "Cislo")) == std::to_string(number) &&
                    ValueText(chyby.Model().FieldOf(r, "Blok")) == "LE_00002.blk")
                    row = r;
            if (row < 0 && std::string(letter) == "P")  // the area findings are in the next block
                for (int r = 0; r < chyby.Model().rowCount() && row < 0; ++r)
                    if (ValueText(chyby.Model().FieldOf(r, "Prvok")) == letter &&
                        ValueText(chyby.Model().FieldOf(r, "Cislo")) == std::to_string(number))
                        row = r;
            if (row < 0) {
                std::cerr << "no finding " << letter << " " << number << "\n";
                ++failures;
                continue;
            }
            chyby.SetCurrentRow(row);
            chyby.MapaBitBtn->click();
            TMapViewForm* view = chyby.MapView();
            if (!view) {
                ++failures;
                continue;
            }
            if (view->geometry() != QRect(40, 40, 760, 540)) view->setGeometry(40, 40, 760, 540);
            view->move(40, 40);
            chyby.SetCurrentRow(row);  // drawn again at the window's size
            failures += !SaveArea(view->frameGeometry().united(modal->frameGeometry()),
                                  out + "chyby-mapa-" + name + ".png");
        }
        static_cast<QDialog*>(modal)->reject();
    };
    // The unclean block's box with "OK pre všetky" first (pressed: no more such boxes), then
    // the end box naming every block left out.
    messages.ShownIfStarts = "Skontrolované bloky";
    messages.ShownForAll = true;
    WhenModal([&](QWidget* unclean) {
        failures += !SaveArea(unclean->frameGeometry().united(vexa.frameGeometry()), out + "vexa-neocisteny.png");
        if (auto* all = unclean->findChild<QPushButton*>("OkForAll")) all->click();
        WhenModal([&](QWidget* modal) {
            failures += !Save(modal, out + "vexa-koniec.png");
            WhenModal(browser);
            static_cast<QDialog*>(modal)->accept();
        });
    });
    vexa.KontrolaButton->click();
    messages.ShownIfStarts.clear();
    messages.ShownForAll = false;

    // A second run: the findings persist since the first; an exception is asked for (its
    // question pictured), and the exceptions' filter shows it with its reason.
    WhenModal([&](QWidget* modal) {
        modal->setGeometry(40, 60, 1000, 520);
        Settle(1500);
        chyby.SetCurrentRow(1);
        modal->repaint();
        failures += !Save(modal, out + "chyby-stav.png");
        WhenModalOver(modal, [&](QWidget* question) {
            if (auto* edit = question->findChild<QLineEdit*>()) edit->setText(QString::fromUtf8("voľný koniec línie je zámer (prameň potoka)"));
            failures += !SaveArea(question->frameGeometry().united(modal->frameGeometry()), out + "chyby-vynimka.png");
            static_cast<QDialog*>(question)->accept();
        });
        chyby.VynimkaBitBtn->click();
        chyby.ComboBox3->setCurrentIndex(3);
        chyby.ComboBox3Change();
        failures += !Save(modal, out + "chyby-vynimky.png");
        // The findings of one block (the block filter beside the others).
        chyby.ComboBox3->setCurrentIndex(0);
        chyby.ComboBox3Change();
        chyby.ComboBox4->setCurrentIndex(std::min(2, chyby.ComboBox4->count() - 1));
        chyby.ComboBox4Change();
        modal->repaint();
        failures += !Save(modal, out + "chyby-blok.png");
        // The search typed without diacritics, every row it keeps selected (Ctrl+A), and the
        // question of one reason for all of them.
        chyby.ComboBox4->setCurrentIndex(0);
        chyby.ComboBox4Change();
        chyby.HladatEdit->setText("NEPRIPUSTNY");
        chyby.HladatEditChange();
        chyby.DBGrid->selectAll();
        modal->repaint();
        failures += !Save(modal, out + "chyby-hladat.png");
        WhenModalOver(modal, [&](QWidget* question) {
            if (auto* edit = question->findChild<QLineEdit*>())
                edit->setText(QString::fromUtf8("druhy podľa novej legendy, štandard sa doplní"));
            failures += !SaveArea(question->frameGeometry().united(modal->frameGeometry()),
                                  out + "chyby-vynimka-viac.png");
            static_cast<QDialog*>(question)->reject();
        });
        chyby.VynimkaBitBtn->click();
        static_cast<QDialog*>(modal)->reject();
    });
    vexa.KontrolaButton->click();

    vexa.BlkStringGrid->SetRow(1);
    WhenModal([&](QWidget* modal) {
        prem.ComboBox1->setEditText("LE");
        prem.Edit1->setText("00001");
        failures += !Save(modal, out + "premen.png");
        static_cast<QDialog*>(modal)->reject();
    });
    vexa.PremenovatButton->click();

    // The delete question: "Nie" is the default, nothing is deleted.
    WhenModal([&](QWidget* modal) {
        failures += !Save(modal, out + "vexa-zmazat.png");
        static_cast<QDialog*>(modal)->reject();
    });
    messages.Shown = true;
    vexa.ZmazatButton->click();
    messages.Shown = false;

    // Qt's own dialogs as the windows open them, in Slovak: the colour choice and a
    // file dialog in its detailed view (the kind column included).
    {
        QColorDialog colours;
        colours.setOption(QColorDialog::DontUseNativeDialog);
        colours.show();
        Settle(500);
        failures += !Save(&colours, out + "dialog-farba.png");
        QFileDialog files(nullptr, QString::fromUtf8("Otvoriť súbor s chybami"), QString::fromStdString(map.string()));
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.setViewMode(QFileDialog::Detail);
        MakeFileDialogReadable(files);
        files.resize(760, 420);
        files.show();
        Settle(1000);
        failures += !Save(&files, out + "dialog-subor.png");
    }

    fs::remove_all(map);
    return failures == 0 ? 0 : 1;
}

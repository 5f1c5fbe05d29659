// Window benchmark: the main window's check run end to end over a map (offscreen unless
// QT_QPA_PLATFORM says otherwise).
//   vexa-bench-window MAPDIR
// Opens the map in the main window with the standard beside the program, ticks what
// `vexa-check --lines 62 --points 3 --texts 3 --areas 7 --length-limit 1 --area-limit 100`
// checks, presses "Kontrola" and times the run until the error browser is shown and drawn
// (the end box is answered at once). Compare with vexa-check on the same map in the same
// run (bench/window_bench.sh).
#include "ui/SiblingTools.h"
#include "ui/forms/Chyby_f.h"
#include "ui/forms/ErrorTableModel.h"
#include "ui/forms/Premen_f.h"
#include "ui/forms/QtPlatform.h"
#include "ui/forms/Vexa_f.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <iostream>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

struct QuietMessages : IMessageBoxes {
    TMsgResult Show(TMsgType type, const std::string& text) override {
        if (type != TMsgType::Information) std::cerr << "message: " << MessageText(text).toStdString() << "\n";
        return TMsgResult::Ok;
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
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: vexa-bench-window MAPDIR\n";
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QuietMessages messages;
    NoDialogs dialogs;
    TQtAppWindows windows(messages);
    TFormsEnv env{ProgramDir(), &messages, &dialogs, &windows, nullptr, nullptr, "", ""};
    TVexaForm vexa(env);
    windows.AddWindow(&vexa);
    TChybyForm chyby(env, &vexa, [&] { return vexa.MapaDir(); }, &vexa);
    windows.AddWindow(&chyby);
    TPremForm prem(&vexa);
    vexa.SetForms(&chyby, &prem);
    vexa.show();

    QElapsedTimer clock;
    clock.start();
    vexa.OpenMap(fs::absolute(argv[1]).lexically_normal().string());
    const double opened = clock.nsecsElapsed() / 1e9;
    for (const char* name : {"LinCBKrivky", "LinCBMimoMBR", "LinCBDuplikatne", "LinCBDlzka", "LinCBPloZhoda",
                             "BodCBPripustnost", "BodCBUhol", "TxbCBPripustnost", "TxbCBUhol", "PloCBPripustnost",
                             "PloCBTopologia", "PloCBPlocha"})
        if (auto* cb = vexa.findChild<QCheckBox*>(name)) cb->setChecked(true);
    vexa.LinEditDlzka->setText("1");
    vexa.PloEditPlocha->setText("100");

    double browsed = -1;
    int rows = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!chyby.isVisible() || browsed >= 0) return;
        QApplication::processEvents();  // drawn
        browsed = clock.nsecsElapsed() / 1e9;
        rows = chyby.Model().rowCount();
        chyby.reject();
    });
    poll.start(1);
    clock.restart();
    vexa.KontrolaButton->click();
    const double run = clock.nsecsElapsed() / 1e9;
    std::printf("map opened in %.3f s (%d rows)\n", opened, vexa.Grid().RowCount() - 1);
    std::printf("check run until the browser was shown: %.3f s (%d findings shown); to the end %.3f s\n", browsed,
                rows, run);
    return browsed >= 0 ? 0 : 1;
}

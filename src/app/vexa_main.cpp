// vexa: the windows. Creates the main window (which creates the standard object
// last), the error browser and the rename dialog, in this order, and runs the
// message loop until the main window closes. "vexa MAPDIR" opens that map.
#include "common/Version.h"
#include "gislink/GisPlatform.h"
#include "ui/SiblingTools.h"
#include "ui/forms/Chyby_f.h"
#include "ui/forms/Premen_f.h"
#include "ui/forms/QtPlatform.h"
#include "ui/forms/Vexa_f.h"

#include <QApplication>
#include <cstring>
#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "vexa " << VEXA_VERSION << "\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << "Použitie: vexa [MAPA]\n"
                         "          vexa --help | --version\n"
                         "\n"
                         "Otvorí okno, ktoré kontroluje lesnícku mapu podľa štandardu (StandardGXD.mdb\n"
                         "a šablóna Chyby.dbf pri programe alebo v ../share/vexa); adresár MAPA sa otvorí\n"
                         "hneď.\n";
            return 0;
        }
    }

    QApplication app(argc, argv);
    // The name is the message boxes' title; window captions stay exactly as set.
    QApplication::setApplicationName("Vexa");

    vexa::TQtMessageBoxes messages;
    vexa::TQtDialogs dialogs;
    vexa::TQtAppWindows appWindows(messages);
    auto dde = vexa::CreateNativeDdeClient();
    auto system = vexa::CreateNativeSystemWindows();
    vexa::TFormsEnv env;
    env.ProgramDir = vexa::ProgramDir();
    env.Messages = &messages;
    env.Dialogs = &dialogs;
    env.App = &appWindows;
    env.Dde = dde.get();
    env.System = system.get();

    vexa::TVexaForm vexaForm(env);
    appWindows.AddWindow(&vexaForm);
    vexa::TChybyForm chybyForm(
        env, &vexaForm, [&vexaForm] { return vexaForm.MapaDir(); }, &vexaForm);
    appWindows.AddWindow(&chybyForm);
    vexa::TPremForm premForm(&vexaForm);
    appWindows.AddWindow(&premForm);
    vexaForm.SetForms(&chybyForm, &premForm);

    vexaForm.show();
    const QStringList args = QApplication::arguments();
    // A map given on the command line, as an absolute path (block paths handed to the GIS are built on it).
    if (args.size() > 1)
        vexaForm.OpenMap(std::filesystem::absolute(args.at(1).toStdString()).lexically_normal().string());
    return app.exec();
}

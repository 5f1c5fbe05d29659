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
#include <QSettings>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    std::string standardFile, mapArg;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--standard") == 0) {
            if (i + 1 >= argc) {
                std::cerr << "vexa: --standard potrebuje súbor štandardu (vexa --standard SÚBOR [MAPA])\n";
                return 2;
            }
            standardFile = std::filesystem::absolute(argv[++i]).lexically_normal().string();
            continue;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "vexa " << VEXA_VERSION << "\n";
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << "Použitie: vexa [--standard SÚBOR] [MAPA]\n"
                         "          vexa --help | --version\n"
                         "\n"
                         "Otvorí okno, ktoré kontroluje lesnícku mapu podľa štandardu (StandardGXD.mdb\n"
                         "a šablóna Chyby.dbf pri programe alebo v ../share/vexa); adresár MAPA sa otvorí\n"
                         "hneď, inak mapa z minulého spustenia.\n"
                         "\n"
                         "  --standard SÚBOR  iný štandard (aj \"Štandard\" > \"Otvoriť…\"); okno si ho pamätá\n"
                         "\n"
                         "Okno si pamätá zaškrtnutia, limity, poslednú mapu, štandard a veľkosti okien\n"
                         "v súbore ~/.config/Vexa/vexa.ini.\n";
            return 0;
        }
        if (mapArg.empty()) mapArg = argv[i];
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
    env.SettingsFile = QSettings(QSettings::IniFormat, QSettings::UserScope, "Vexa", "vexa").fileName().toStdString();
    env.StandardFile = standardFile;

    vexa::TVexaForm vexaForm(env);
    appWindows.AddWindow(&vexaForm);
    vexa::TChybyForm chybyForm(
        env, &vexaForm, [&vexaForm] { return vexaForm.MapaDir(); }, &vexaForm);
    appWindows.AddWindow(&chybyForm);
    vexa::TPremForm premForm(&vexaForm);
    appWindows.AddWindow(&premForm);
    vexaForm.SetForms(&chybyForm, &premForm);

    vexaForm.show();
    // A map given on the command line, as an absolute path (block paths handed to the GIS are
    // built on it); else the map of the last start.
    if (!mapArg.empty())
        vexaForm.OpenMap(std::filesystem::absolute(mapArg).lexically_normal().string());
    else
        vexaForm.OpenLastMap();
    return app.exec();
}

// Browser benchmark: the error browser over a table of many findings with their statuses.
//   vexa-bench-browser MAPDIR [COUNT]
// Writes MAPDIR/Chyby.DBF with COUNT findings (default 100,000; 100 blocks, points and lines,
// three codes) and a run of the history that found them (half new, half persisting), then
// opens the browser on it (offscreen unless QT_QPA_PLATFORM says otherwise) and times the
// opening until the window is shown and drawn, each switch of a filter, the text search and
// the selection of every row shown.
#include "common/FileNames.h"
#include "common/Text.h"
#include "review/RunHistory.h"
#include "review/RunReview.h"
#include "standard/ErrorTable.h"
#include "ui/forms/Chyby_f.h"
#include "ui/forms/ErrorTableModel.h"
#include "ui/forms/QtPlatform.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

struct QuietMessages : IMessageBoxes {
    TMsgResult Show(TMsgType, const std::string& text) override {
        std::cerr << "message: " << MessageText(text).toStdString() << "\n";
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
};

void WriteMap(const std::string& mapDir, int count) {
    fs::create_directories(mapDir);
    const std::string table = mapDir + "Chyby.DBF";
    TErrorTable::CreateTemplate(table);
    TErrorTable errors(table);
    review::TRunRecord run;
    // The options of vexa-check --lines 62 --points 3 --texts 3 --areas 7 (limits 1 and 100): a
    // status is that of the newest run that ran the finding's check.
    run.Options = review::OptionsText(0, 62, 3, 3, 7, 1, 100);
    run.ChecksRan = review::ChecksRun(0, 62, 3, 3, 7, 1, 100);
    run.Complete = true;
    {
        TErrorTableSession session(errors);
        for (int i = 0; i < count; ++i) {
            TErrorRecord r;
            const bool point = i % 3 == 0;
            r.Id = point ? -31 : i % 3 == 1 ? -12 : -15;
            r.Blok = Format("LE_%05d.blk", 1 + i % 100);
            r.Vrstva = "LE";
            r.Prvok = std::string(1, point ? 'B' : 'L');
            r.Druh = 1 + i % 7;
            r.Cislo = 1 + i / 100;
            static const std::string texts[3] = {"neprípustný druh vo vrstve", "krivka", "podlimitná dĺžka"};
            r.Chyba = texts[i % 3];
            errors.Append(r);
            run.Found.push_back({r.Blok, r.Prvok, r.Cislo, r.Id, r.Druh, i % 2 ? "new" : "persisting",
                                 "2026-12-01 08:00:00", r.Chyba});
        }
        session.End();
    }
    for (int b = 1; b <= 100; ++b) run.Checked.push_back(Format("LE_%05d.blk", b));
    // BENCH_NO_HISTORY=1: the same table without a history (the browser without statuses).
    if (!std::getenv("BENCH_NO_HISTORY")) review::SaveRun(mapDir, run);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "Usage: vexa-bench-browser MAPDIR [COUNT]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string mapDir = IncludeTrailingDelimiter(fs::absolute(argv[1]).lexically_normal().string());
    const int count = argc == 3 ? std::atoi(argv[2]) : 100000;
    try {
        WriteMap(mapDir, count);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vexa-bench-browser: %s\n", e.what());
        return 1;
    }
    {
        // The part of the opening that reads the history.
        QElapsedTimer t;
        t.start();
        std::vector<std::string> problems;
        const std::size_t n = review::LatestStatuses(mapDir, problems).Size();
        std::printf("statuses of %zu findings read from the history in %.3f s\n", n, t.nsecsElapsed() / 1e9);
    }
    QuietMessages messages;
    NoDialogs dialogs;
    TQtAppWindows windows(messages);
    TFormsEnv env{"", &messages, &dialogs, &windows, nullptr, nullptr, "", ""};
    TChybyForm chyby(env, nullptr, [&] { return mapDir; });
    QElapsedTimer clock;
    double opened = 0;
    std::vector<std::pair<std::string, double>> switches;
    QTimer::singleShot(0, &chyby, [&] {
        QApplication::processEvents();  // drawn
        opened = clock.nsecsElapsed() / 1e9;
        auto time = [&](const char* what, QComboBox* box, int index, void (TChybyForm::*change)()) {
            QElapsedTimer t;
            t.start();
            box->setCurrentIndex(index);
            (chyby.*change)();
            QApplication::processEvents();
            switches.push_back({std::string("filter ") + what, t.nsecsElapsed() / 1e9});
        };
        time("prvky: body", chyby.ComboBox1, 2, &TChybyForm::ComboBox1Change);
        time("prvky: všetky", chyby.ComboBox1, 0, &TChybyForm::ComboBox1Change);
        time("stav: nové", chyby.ComboBox3, 1, &TChybyForm::ComboBox3Change);
        time("stav: trvajúce", chyby.ComboBox3, 2, &TChybyForm::ComboBox3Change);
        time("stav: všetky", chyby.ComboBox3, 0, &TChybyForm::ComboBox3Change);
        time("blok: prvý", chyby.ComboBox4, 1, &TChybyForm::ComboBox4Change);
        time("blok: všetky", chyby.ComboBox4, 0, &TChybyForm::ComboBox4Change);
        time("blok: posledný", chyby.ComboBox4, chyby.ComboBox4->count() - 1, &TChybyForm::ComboBox4Change);
        time("blok: všetky", chyby.ComboBox4, 0, &TChybyForm::ComboBox4Change);
        auto search = [&](const char* text) {
            QElapsedTimer t;
            t.start();
            chyby.HladatEdit->setText(QString::fromUtf8(text));
            chyby.HladatEditChange();
            QApplication::processEvents();
            switches.push_back({std::string("hľadať \"") + text + "\" (" + std::to_string(chyby.Model().rowCount()) +
                                    " riadkov)",
                                t.nsecsElapsed() / 1e9});
        };
        search("DLZKA");  // the first search folds every row's text
        search("krivka");
        search("le_00050 b:1");
        search("");
        {
            QElapsedTimer t;
            t.start();
            chyby.DBGrid->selectAll();
            const std::size_t selected = chyby.SelectedRows().size();
            QApplication::processEvents();
            switches.push_back({"Ctrl+A (" + std::to_string(selected) + " riadkov)", t.nsecsElapsed() / 1e9});
        }
        std::printf("rows shown at the end: %d (status of the first: %s)\n", chyby.Model().rowCount(),
                    chyby.Model().StatusText(0).c_str());
        chyby.reject();
    });
    clock.start();
    if (!chyby.ShowModalFor(mapDir)) return 1;
    std::printf("%d findings with statuses: browser open and drawn in %.3f s\n", count, opened);
    for (const auto& [what, seconds] : switches) std::printf("%s: %.3f s\n", what.c_str(), seconds);
    return 0;
}

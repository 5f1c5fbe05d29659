// The map view benchmark: how long the error browser's map view takes to read a block and
// to redraw when the user moves from one finding to the next (the element read and
// marked, the view fitted, the picture drawn), with positioning on and with the whole
// block in view. Not a test: run it by hand on a benchmark block (see bench/README.md).
#include "render/MapView.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct TStats {
    double Median, P95, Max;
};

TStats StatsOf(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)], ms.back()};
}

int Usage() {
    std::fprintf(stderr, "Použitie: vexa-bench-render BLOK [--size ŠÍRKAxVÝŠKA] [--steps N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') return Usage();
    int width = 1024, height = 768, steps = 500;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--size") && std::sscanf(argv[i + 1], "%dx%d", &width, &height) == 2) continue;
        if (!std::strcmp(argv[i], "--steps") && (steps = std::atoi(argv[i + 1])) > 0) continue;
        return Usage();
    }
    using namespace vexa::render;
    try {
        TMapView view;
        view.Resize(width, height);
        const auto t0 = Clock::now();
        view.OpenBlock(argv[1]);
        const double load = Ms(Clock::now() - t0);
        const auto& items = view.Scene()->Items();
        if (items.empty()) {
            std::fprintf(stderr, "Blok nemá prvky.\n");
            return 2;
        }
        // The findings: elements spread over the block and its groups; the other findings
        // of the block (marked fainter) one element in fifty, as the benchmark's faults.
        std::vector<TElementRef> findings, others;
        const std::size_t stride = std::max<std::size_t>(items.size() / std::size_t(steps), 1);
        for (std::size_t i = 0; i < items.size() && findings.size() < std::size_t(steps); i += stride)
            findings.push_back({items[i].Group, items[i].Number});
        for (std::size_t i = 0; i < items.size(); i += 50) others.push_back({items[i].Group, items[i].Number});
        view.SetOthers(others);

        view.FitBlock();
        auto t = Clock::now();
        view.Render();
        const double whole = Ms(Clock::now() - t);

        auto run = [&](bool zoom) {
            std::vector<double> ms;
            for (const TElementRef& f : findings) {
                if (!zoom) view.FitBlock();
                t = Clock::now();
                view.ShowElement(f, 1.0, zoom);
                view.Render();
                ms.push_back(Ms(Clock::now() - t));
            }
            return StatsOf(ms);
        };
        const TStats on = run(true);
        const TStats off = run(false);
        std::printf("block %s: %zu elements, %zu findings stepped, %zu others marked, picture %dx%d\n", argv[1],
                    items.size(), findings.size(), others.size(), width, height);
        std::printf("read once:                      %8.1f ms\n", load);
        std::printf("whole block drawn:              %8.1f ms\n", whole);
        std::printf("next finding, positioning on:   median %6.2f ms, 95%% %6.2f ms, max %6.2f ms\n", on.Median, on.P95,
                    on.Max);
        std::printf("next finding, whole block view: median %6.2f ms, 95%% %6.2f ms, max %6.2f ms\n", off.Median,
                    off.P95, off.Max);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
}

// The map view on any file set of a block: the scene read (every element with its place and
// the grid), the whole block drawn, elements of each group marked and shown at several
// scales, with and without positioning, zoomed and panned. The input is a block's files as
// fuzz_block reads them; the seeds are the same.
#include "FuzzInput.h"
#include "common/Exception.h"
#include "render/MapView.h"

#include <cstdint>
#include <string>

using namespace vexa;

namespace {
const std::vector<std::string> kNames = {"tn.crd", "tn.lin", "tn.are", "tn.pnt", "tn.tbx", "tn.ttx", "info.txt"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto files = vexafuzz::SplitFiles(data, size, kNames);
    const auto dir = vexafuzz::Scratch("LE_1.blk");
    for (const auto& [name, bytes] : files) vexafuzz::WriteFile(dir / name, bytes);

    render::TMapView view;
    view.Resize(48 + int(size % 64), 32 + int(size % 48));
    try {
        view.OpenBlock(dir.string());
    } catch (const vexa::Exception&) {
        return 0;  // a block the store refuses: its own error
    }
    view.FitBlock();
    view.Render();
    const auto& items = view.Scene()->Items();
    std::vector<render::TElementRef> others;
    for (std::size_t i = 0; i < items.size() && i < 50; i += 3) others.push_back({items[i].Group, items[i].Number});
    view.SetOthers(others);
    const double scales[] = {1.0, 2.0, 0.5, -4.0, 0.0, 1e-30, 1e30};
    for (std::size_t i = 0; i < items.size() && i < 40; ++i) {
        const double scale = scales[(i + size) % std::size(scales)];
        view.ShowElement({items[i].Group, items[i].Number}, scale, i % 3 != 0);
        view.Render();
    }
    // Numbers that the block may not hold.
    for (std::int32_t number : {0, -1, 1, 2, 0x7FFFFFFF})
        for (TBlkElementGroup group : {egLine, egPoint, egArea, egText}) view.ShowElement({group, number}, 1.0, true);
    view.Viewport().ZoomAt(3, 4, 1e9);
    view.Render();
    view.Viewport().Pan(1e9, -1e9);
    view.Viewport().ZoomAt(0, 0, 1e-9);
    view.Render();
    return 0;
}

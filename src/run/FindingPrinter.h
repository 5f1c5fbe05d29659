#pragma once
// The printed outputs of findings (vexa-check --format): one line per finding as text
// (tabs between the columns), as a JSON object, or as a CSV row. The columns and keys,
// the header rows and the help's list of keys come from the table of finding columns
// (standard/FindingColumns.h).
#include "export/FindingFormats.h"
#include "standard/ErrorRecord.h"
#include "standard/Findings.h"

#include <cstdio>
#include <string>

namespace vexa {

// A finding as one line: block, group letter, number, kind, code and text separated
// by tabs; a null column is empty. Control characters of the names are escaped.
std::string FindingLine(const TErrorRecord& finding);

namespace run {

// "blok\tskupina\t...": the text output's header row.
std::string TextHeader();
// "block,layer,...": the CSV header row (with ", " the columns as the help lists them).
std::string CsvHeader(const char* separator = ",");
// "block=blok, layer=vrstva, ..., min_x..max_y=obdĺžnik, x,y=bod, ...": the keys of the JSON
// lines and CSV columns with what they mean, as the help says them.
std::string OutputKeysSaid();

// A place as a GeoJSON geometry in the map's coordinates (null without a place).
std::string GeometryJson(const TFindingPlace& place);
// One finding as a JSON object: the record's columns, then the place (bbox, point and
// geometry are null for a finding without geometry), for a limit finding what was measured
// (value) and the limit, the status against the previous run when the finding has one.
std::string FindingJson(const TFinding& finding);
// One finding as a CSV row in the columns of CsvHeader().
std::string FindingCsv(const TFinding& finding);
// What a limit finding measured, after its text: " (50 m, limit 60 m)".
std::string Measured(const TFinding& finding);

// Prints each finding on a line of its own in the chosen format (CSV: a header row first),
// each as the error table holds it.
class TFindingPrinter : public IFindingSink {
public:
    // clearProgress: the output and a progress bar on stderr share a terminal; a finding
    // first clears the bar's line.
    TFindingPrinter(gisexport::TFormatWriter format, std::FILE* out = stdout, bool clearProgress = false)
        : FFormat(format), FOut(out), FClearProgress(clearProgress) {}
    void Add(const TFinding& finding) override;
    // The line naming the columns, once (JSON lines name their own).
    void Header();
    bool WantsPlaces() const override { return FFormat != gisexport::TFormatWriter::Text; }

private:
    gisexport::TFormatWriter FFormat;
    std::FILE* FOut;
    bool FClearProgress;
    bool FHeader = false;
};

}  // namespace run
}  // namespace vexa

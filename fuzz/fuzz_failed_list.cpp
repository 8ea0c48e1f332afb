// A failed-tile list as the re-download reads it, from a file in memory
// (tmpfs): byte 0 chooses the line limit of the streaming reader (1 to 4096
// bytes), the rest is the list. The reader must give the lines the whole-file
// reader gives, each cut at the limit and told too long exactly when it was
// longer; a record must split at its first "|" and join back to its line; a
// path taken for a tile file must have a plain tile name; and the re-download
// must count the records before it fetches any (the harness cancels it
// there, so nothing is fetched or written) and end with how many listed
// tiles are still blank, at most one a record.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/failed_list.h"
#include "download/redownload.h"
#include "fuzz_support.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shown_text.h"
#include "task/contract_texts.h"
#include "task/md_task.h"

using namespace tessellon;

namespace {

// Records what the re-download reports and cancels it before its first
// record.
class CancellingOutput : public RedownloadOutput {
public:
    void AddLine(const std::string& line) override { lines.push_back(line); }
    void RecordsDone(int done, int total) override {
        if (done != 0) {
            fuzz::Fail("a record done before the run was cancelled");
        }
        counted = total;
    }
    bool CancelRequested() override { return true; }

    std::vector<std::string> lines;
    int counted = -1;
};

// Only the characters a tile file's name is made of: never a folder, a
// hidden file or "..".
bool PlainTileName(std::string_view name) {
    return !name.empty() && name.front() != '.' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      c == '_' || c == '.';
           });
}

void CheckRecord(const std::string& line) {
    const std::optional<FailedTileRecord> record = ParseFailedRecord(line);
    if (!record) {
        if (line.find('|') != std::string::npos) {
            fuzz::Fail("a line with \"|\" taken for no record");
        }
        return;
    }
    if (record->Path.find('|') != std::string::npos ||
        FormatFailedRecord(record->Path, record->Url) != line) {
        fuzz::Fail("a record that does not join back to its line");
    }
    const std::string name = ExtractFileName(record->Path);
    if (!HasControlCharacter(record->Path) && IsTileFileName(name) && !PlainTileName(name)) {
        fuzz::Fail("a tile file name that is not plain: " + ShowControlCharacters(name));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t limit = fuzz::PieceSize(data[0]);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    static const std::string path = fuzz::TmpfsFile("failed.ftl");
    fuzz::WriteTmpfsFile(path, text);
    const std::vector<std::string> expected = SplitTextLines(text);

    TextLineReader reader(path, limit);
    std::string line;
    for (const std::string& whole : expected) {
        if (!reader.Next(line)) {
            fuzz::Fail("the list ended early");
        }
        if (line != whole.substr(0, limit) || reader.LineTooLong() != (whole.size() > limit)) {
            fuzz::Fail("a line that is not the file's, or wrongly told too long");
        }
        if (!reader.LineTooLong()) {
            CheckRecord(line);
        }
    }
    if (reader.Next(line)) {
        fuzz::Fail("a line after the end of the list");
    }
    reader.Rewind();
    if (reader.Next(line) != !expected.empty() ||
        (!expected.empty() && line != expected.front().substr(0, limit))) {
        fuzz::Fail("the first line not read again after a rewind");
    }

    CancellingOutput output;
    const RedownloadSummary summary = RunRedownload(path, output);
    const int total = static_cast<int>(expected.size());
    const std::vector<std::string> reported =
        total == 0 ? std::vector<std::string>{kNoFailedRecords}
                   : std::vector<std::string>{"Start...", RedownloadCancelledLine(0, total),
                                              "Download End.", StillBlankLine(summary.StillBlank)};
    if (!summary.ListRead || summary.Fetched != 0 || summary.Failed != 0 ||
        summary.StillBlank < 0 || summary.StillBlank > total || summary.Cancelled != (total > 0) ||
        output.lines != reported || output.counted != (total == 0 ? -1 : total)) {
        fuzz::Fail("the re-download counted " + std::to_string(output.counted) + " records of " +
                   std::to_string(total));
    }
    return 0;
}

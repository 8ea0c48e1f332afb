#include "output/sqlite_tile_sink.h"

#include <algorithm>

#include "net/net_limits.h"

namespace tessellon {

namespace {

// A viewer reading the file holds it for a moment at a time; wait that out,
// but report a file held open for writing soon.
constexpr int kWriterBusyMillis = 1000;

}  // namespace

std::string QuotedSql(std::string_view text, char quote) {
    std::string quoted(1, quote);
    for (const char c : text) {
        quoted += c;
        if (c == quote) {
            quoted += c;
        }
    }
    return quoted + quote;
}

SqliteGuard ForeignContainerGuard() {
    return {.Defensive = true,
            .StatementMillis = kForeignStatementMillis,
            .MaxValueBytes = kDefaultMaxTileBytes};
}

std::string SqliteFailureText(std::string_view title, const SqliteFailure& failure) {
    std::string file = "The ";
    file.append(title).append(" file ").append(failure.Path);
    switch (failure.Kind) {
        case SqliteFailureKind::CannotOpen:
            return file + " cannot be opened: " + failure.Detail + ".";
        case SqliteFailureKind::Locked:
            return file + " is locked by another program.";
        case SqliteFailureKind::NotADatabase:
            return "The file " + failure.Path + " is not " + std::string(ArticleOf(title)) + " " +
                   std::string(title) + " file: it is no SQLite database.";
        case SqliteFailureKind::TimedOut:
            return file + " cannot be used: " + failure.Detail + ", which no " +
                   std::string(title) + " file needs.";
        case SqliteFailureKind::Other:
            break;
    }
    return file + " cannot be used: " + failure.Detail + ".";
}

std::string ActiveTablesRefusal(SqliteDb& db, std::string_view title,
                                const std::vector<std::string>& tables,
                                const std::vector<std::string>& checkedTables,
                                const std::vector<std::string>& readTables) {
    const auto list = [](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names) {
            text += text.empty() ? "" : ", ";
            text += QuotedSql(name, '\'');
        }
        return text;
    };
    const std::string names = list(tables);
    const std::string checked = list(checkedTables);
    const std::string read = list(readTables);
    // A body of one statement, SELECT RAISE(ABORT, ...), then END: a
    // statement that changes data would need a second one, after a ";". A
    // ";" within the message refuses the trigger too, which errs safe.
    const std::string blanks = "' ' || char(9, 10, 13)";
    const std::string body = "substr(sql, instr(upper(sql), 'BEGIN') + 5)";
    const std::string onlyAborts = "(instr(" + body + ", ';') > 0 AND upper(trim(substr(" + body +
                                   ", 1, instr(" + body + ", ';') - 1), " + blanks +
                                   ")) LIKE 'SELECT RAISE(ABORT%' AND upper(trim(substr(" + body +
                                   ", instr(" + body + ", ';') + 1), " + blanks + ")) = 'END')";
    SqliteStatement active = db.Prepare(
        "SELECT type, name, tbl_name FROM sqlite_master WHERE (type = 'view' AND lower(name) IN "
        "(" +
        names + ", " + (checked.empty() ? "''" : checked) + ", " + (read.empty() ? "''" : read) +
        ")) OR (type = 'trigger' AND lower(tbl_name) IN (" + names +
        ")) OR (type = 'trigger' AND lower(tbl_name) IN (" + (checked.empty() ? "''" : checked) +
        ") AND NOT " + onlyAborts + ") ORDER BY type DESC, name");
    if (!active.Step()) {
        return {};
    }
    std::string message = "The file ";
    message.append(db.Path()).append(" is not ").append(ArticleOf(title)).append(" ");
    message.append(title).append(" file that can be used safely: its ");
    if (active.Text(0) == "view") {
        message += active.Text(1);
        message += " table is a view";
    } else {
        message += active.Text(2);
        message += " table carries the trigger ";
        message += active.Text(1);
    }
    message += ", which would run the file's own statements.";
    return message;
}

SqliteTileSink::SqliteTileSink(const std::string& file, bool existed, std::string_view title,
                               SqliteFailureHandler onFailure,
                               const std::vector<std::string>& tables,
                               const std::vector<std::string>& checkedTables)
    : db_(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | (existed ? 0 : SQLITE_OPEN_NOFOLLOW),
          kWriterBusyMillis, onFailure, existed ? ForeignContainerGuard() : SqliteGuard{}),
      title_(title) {
    // Before the transaction, so that a refused file is left without a
    // journal beside it.
    const std::string refusal = ActiveTablesRefusal(db_, title_, tables, checkedTables);
    if (!refusal.empty()) {
        throw ETileContainerError(refusal);
    }
    // Big enough for the index of a large export; pages leave it only at
    // the commit.
    db_.Execute("PRAGMA cache_size = -65536");
}

void SqliteTileSink::Refuse(std::string_view why) const {
    std::string message = "The file ";
    message.append(db_.Path()).append(why);
    throw ETileContainerError(message);
}

void SqliteTileSink::Begin(const std::vector<TaskReader>& projects) {
    transaction_.emplace(db_);
    Prepare(projects);
    insert_.emplace(db_.Prepare(InsertSql()));
}

void SqliteTileSink::Put(const TileId& tile, std::string_view bytes) {
    insert_->Bind(1, std::int64_t{tile.Zoom});
    insert_->Bind(2, std::int64_t{tile.X});
    insert_->Bind(3, StoredRow(tile.Zoom, tile.Y));
    insert_->BindBlob(4, bytes);
    insert_->Step();
    insert_->Reset();
}

void SqliteTileSink::Finish(const std::vector<TaskReader>& projects,
                            const TileExportOptions& options, const StopSignal* stop) {
    WriteMetadata(projects, options);
    // The last moment a stop leaves the file as it was.
    ThrowIfStopped(stop);
    transaction_->Commit();
}

std::vector<std::pair<int, TileRange>> SqliteTileSink::RangesInFile(
    const std::vector<TaskReader>& projects) {
    std::vector<std::pair<int, TileRange>> ranges = CoverRanges(projects);
    SqliteStatement rows = db_.Prepare(ExtentSql());
    while (rows.Step()) {
        const int zoom = static_cast<int>(rows.Integer(0));
        const std::int64_t last = (std::int64_t{1} << zoom) - 1;
        auto onGrid = [last](std::int64_t value) {
            return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, 0, last));
        };
        const std::int32_t rowA = onGrid(StoredRow(zoom, onGrid(rows.Integer(3))));
        const std::int32_t rowB = onGrid(StoredRow(zoom, onGrid(rows.Integer(4))));
        AddZoomRange(ranges, zoom,
                     {onGrid(rows.Integer(1)), std::min(rowA, rowB), onGrid(rows.Integer(2)),
                      std::max(rowA, rowB)});
    }
    return ranges;
}

}  // namespace tessellon

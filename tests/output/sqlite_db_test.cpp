// The SQLite wrapper on its own: what each failure is called and carries,
// the caller's words for it, text against bytes, and transactions that are
// all or nothing.

#include "output/sqlite_db.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

constexpr int kCreate = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;

// The failure `action` ends in; fails the test when it ends in none.
SqliteFailure FailureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ESqliteError& error) {
        return error.Failure();
    }
    ADD_FAILURE() << "no failure";
    return {};
}

std::int64_t Count(SqliteDb& db, std::string_view sql) {
    SqliteStatement count = db.Prepare(sql);
    EXPECT_TRUE(count.Step());
    return count.Integer(0);
}

class SqliteDbTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.File("test.db");
};

TEST_F(SqliteDbTest, EachFailureSaysWhatWentWrongWithWhichFileInSqlitesWords) {
    const std::string absent = dir.File("no/such/folder.db");
    SqliteFailure failure = FailureOf([&] { SqliteDb db(absent, kCreate, 0); });
    EXPECT_EQ(failure.Kind, SqliteFailureKind::CannotOpen);
    EXPECT_EQ(failure.Path, absent);
    EXPECT_EQ(failure.Detail, "unable to open database file");
    try {
        SqliteDb db(absent, kCreate, 0);
    } catch (const ESqliteError& error) {
        EXPECT_EQ(std::string(error.what()), absent + ": unable to open database file");
    }

    WriteFileAtomic(path, std::string(4096, 'x'));
    SqliteDb text(path, kCreate, 0);
    failure = FailureOf([&] { text.Execute("SELECT count(*) FROM sqlite_master"); });
    EXPECT_EQ(failure.Kind, SqliteFailureKind::NotADatabase);
    EXPECT_EQ(failure.Detail, "file is not a database");

    const std::string good = dir.File("good.db");
    SqliteDb db(good, kCreate, 0);
    failure = FailureOf([&] { db.Prepare("SELEKT 1"); });
    EXPECT_EQ(failure.Kind, SqliteFailureKind::Other);
    EXPECT_EQ(failure.Path, good);
    EXPECT_NE(failure.Detail.find("syntax error"), std::string::npos) << failure.Detail;
}

TEST_F(SqliteDbTest, ABindSqliteRefusesFailsWithItsMessage) {
    SqliteDb db(path, kCreate, 0);
    db.Execute("CREATE TABLE t (a)");
    SqliteStatement insert = db.Prepare("INSERT INTO t VALUES (?)");
    for (const int index : {0, 2}) {
        SCOPED_TRACE(index);
        SqliteFailure failure = FailureOf([&] { insert.Bind(index, std::int64_t{1}); });
        EXPECT_EQ(failure.Kind, SqliteFailureKind::Other);
        EXPECT_EQ(failure.Detail, "column index out of range");
        failure = FailureOf([&] { insert.Bind(index, std::string_view("text")); });
        EXPECT_EQ(failure.Detail, "column index out of range");
        failure = FailureOf([&] { insert.BindBlob(index, "bytes"); });
        EXPECT_EQ(failure.Detail, "column index out of range");
    }
    // Nothing was bound: a row of the refused binds would hold a value.
    insert.Step();
    EXPECT_EQ(Count(db, "SELECT count(*) FROM t WHERE a IS NULL"), 1);
}

TEST_F(SqliteDbTest, TheCallersHandlerNamesTheFailureInItsOwnWords) {
    struct EFormatError : std::runtime_error {
        using std::runtime_error::runtime_error;
    };
    const SqliteFailureHandler words = [](const SqliteFailure& failure) {
        throw EFormatError(
            std::string(failure.Kind == SqliteFailureKind::Locked ? "locked " : "other ") +
            failure.Path);
    };
    SqliteDb db(path, kCreate, 20, words);
    db.Execute("CREATE TABLE t (a)");
    SqliteDb other(path, kCreate, 20);
    other.Execute("BEGIN EXCLUSIVE");
    try {
        db.Execute("INSERT INTO t VALUES (1)");
        ADD_FAILURE() << "wrote past another writer's lock";
    } catch (const EFormatError& error) {
        EXPECT_EQ(std::string(error.what()), "locked " + path);
    }
    other.Execute("ROLLBACK");
    EXPECT_THROW(db.Prepare("nonsense"), EFormatError);

    // A handler that throws nothing leaves the failure to ESqliteError.
    SqliteDb quiet(path, kCreate, 20, [](const SqliteFailure&) {});
    EXPECT_THROW(quiet.Prepare("nonsense"), ESqliteError);
}

TEST_F(SqliteDbTest, TextIsUtf8WhateverTheFileKeepsAndBlobIsTheStoredBytes) {
    SqliteDb db(path, kCreate, 0);
    // A file made by a program that keeps its text in UTF-16.
    db.Execute("PRAGMA encoding = 'UTF-16le'; CREATE TABLE t (v)");
    db.Execute("INSERT INTO t VALUES ('Z\xc3\xbcrich'), (x'00ff0041'), (42), (NULL), ('')");
    {
        // The text as stored: two bytes a character.
        SqliteStatement stored = db.Prepare("SELECT v FROM t ORDER BY rowid");
        ASSERT_TRUE(stored.Step());
        EXPECT_EQ(stored.Blob(0), std::string("Z\0\xfc\0r\0i\0c\0h\0", 12));
    }
    SqliteStatement rows = db.Prepare("SELECT v FROM t ORDER BY rowid");
    ASSERT_TRUE(rows.Step());
    EXPECT_EQ(rows.Text(0), "Z\xc3\xbcrich");
    ASSERT_TRUE(rows.Step());
    EXPECT_EQ(rows.Blob(0), std::string("\0\xff\0A", 4));
    ASSERT_TRUE(rows.Step());
    EXPECT_EQ(rows.Text(0), "42");
    EXPECT_EQ(rows.Integer(0), 42);
    ASSERT_TRUE(rows.Step());
    EXPECT_TRUE(rows.IsNull(0));
    EXPECT_EQ(rows.Text(0), "");
    EXPECT_EQ(rows.Blob(0), "");
    ASSERT_TRUE(rows.Step());
    EXPECT_FALSE(rows.IsNull(0));
    EXPECT_EQ(rows.Text(0), "");
    EXPECT_FALSE(rows.Step());
}

TEST_F(SqliteDbTest, ATransactionIsAllOrNothing) {
    SqliteDb db(path, kCreate, 20);
    db.Execute("CREATE TABLE t (a)");
    SqliteDb reader(path, SQLITE_OPEN_READONLY, 20);
    {
        SqliteTransaction transaction(db);
        db.Execute("INSERT INTO t VALUES (1); INSERT INTO t VALUES (2)");
        // Others see none of it until the commit.
        EXPECT_EQ(Count(reader, "SELECT count(*) FROM t"), 0);
        transaction.Commit();
    }
    EXPECT_EQ(Count(reader, "SELECT count(*) FROM t"), 2);

    // Left by an error before its commit, it leaves nothing behind, and the
    // file takes the next one.
    EXPECT_THROW(
        {
            SqliteTransaction transaction(db);
            db.Execute("INSERT INTO t VALUES (3)");
            db.Execute("INSERT INTO missing VALUES (4)");
            transaction.Commit();
        },
        ESqliteError);
    EXPECT_EQ(Count(reader, "SELECT count(*) FROM t"), 2);
    SqliteTransaction next(db);
    db.Execute("INSERT INTO t VALUES (5)");
    next.Commit();
    EXPECT_EQ(Count(reader, "SELECT count(*) FROM t"), 3);
}

TEST_F(SqliteDbTest, ATransactionBeginsAsAWriterOrSaysTheFileIsLocked) {
    SqliteDb db(path, kCreate, 20);
    db.Execute("CREATE TABLE t (a)");
    SqliteDb other(path, kCreate, 20);
    SqliteTransaction holding(other);
    const SqliteFailure failure = FailureOf([&] { SqliteTransaction second(db); });
    EXPECT_EQ(failure.Kind, SqliteFailureKind::Locked);
    EXPECT_EQ(failure.Detail, "database is locked");
}

TEST_F(SqliteDbTest, AGuardedConnectionEndsAnEndlessQueryAndRefusesTheSchemasCode) {
    {
        SqliteDb db(path, kCreate, 0);
        db.Execute("CREATE TABLE t (a); PRAGMA writable_schema = ON;");
    }
    SqliteDb db(path, kCreate, 0, nullptr, {.Defensive = true, .StatementMillis = 200});
    const auto start = std::chrono::steady_clock::now();
    const SqliteFailure failure = FailureOf([&] {
        Count(db,
              "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
              "SELECT count(*) FROM n");
    });
    EXPECT_EQ(failure.Kind, SqliteFailureKind::TimedOut);
    EXPECT_EQ(failure.Detail, "a statement ran longer than 200 ms");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // Each statement has its own time: the connection still works.
    EXPECT_EQ(Count(db, "SELECT count(*) FROM t"), 0);
    // Defensive: the schema cannot be written around SQLite's checks.
    EXPECT_EQ(FailureOf([&] {
                  db.Execute(
                      "PRAGMA writable_schema = ON; UPDATE sqlite_master "
                      "SET sql = 'x'");
              }).Kind,
              SqliteFailureKind::Other);
}

TEST_F(SqliteDbTest, AGuardedConnectionReadsNoValuePastItsLimit) {
    {
        SqliteDb db(path, kCreate, 0);
        db.Execute("CREATE TABLE t (a); INSERT INTO t VALUES (zeroblob(1000)), ('short');");
    }
    SqliteDb db(path, kCreate, 0, nullptr, {.MaxValueBytes = 999});
    SqliteStatement rows = db.Prepare("SELECT a FROM t WHERE rowid = 2");
    ASSERT_TRUE(rows.Step());
    EXPECT_EQ(rows.Text(0), "short");
    const SqliteFailure failure =
        FailureOf([&] { db.Prepare("SELECT a FROM t WHERE rowid = 1").Step(); });
    EXPECT_EQ(failure.Kind, SqliteFailureKind::Other);
    EXPECT_EQ(failure.Detail, "string or blob too big");
}

}  // namespace
}  // namespace tessellon

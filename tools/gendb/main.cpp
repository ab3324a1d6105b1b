// gendb: writes a sample directory database for Sarwino.
//
//   gendb --out PATH [--records N] [--seed S]
//
// The database holds the one table "главная" filled with N plausible firms
// and organisations of Светлоборск. The same seed and count always give a
// byte-identical file. The file is written beside PATH as PATH.tmp and
// renamed over PATH only when complete.

#include "Generator.h"

#include "data/DirectorySchema.h"

#include <sqlite3.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

namespace {

constexpr std::string_view kUsage = "usage: gendb --out PATH [--records N] [--seed S]\n"
                                    "  --out PATH     database file to write (replaced if it exists)\n"
                                    "  --records N    number of records, 0..100000000 (default 2500)\n"
                                    "  --seed S       seed of the generator, 0..18446744073709551615 (default 1)\n";

struct Options {
    std::string out;
    std::uint64_t records = gendb::kDefaultRecords;
    std::uint64_t seed = 1;
    bool help = false;
};

int usageError(const std::string& message)
{
    std::fprintf(stderr, "gendb: %s\n%.*s", message.c_str(), static_cast<int>(kUsage.size()), kUsage.data());
    return 2;
}

bool parseNumber(std::string_view text, std::uint64_t& value)
{
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    return ec == std::errc() && ptr == end;
}

// Returns 0 when the arguments are sound, otherwise the exit code.
int parseArguments(int argc, char** argv, Options& opt)
{
    bool haveOut = false, haveRecords = false, haveSeed = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            opt.help = true;
            return 0;
        }
        std::string_view value;
        bool inlineValue = false;
        if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        if (arg != "--out" && arg != "--records" && arg != "--seed")
            return usageError("unknown argument '" + std::string(argv[i]) + "'");
        if (!inlineValue) {
            if (i + 1 >= argc)
                return usageError("missing value after " + std::string(arg));
            value = argv[++i];
        }

        if (arg == "--out") {
            if (haveOut)
                return usageError("--out given twice");
            if (value.empty())
                return usageError("empty path after --out");
            opt.out = value;
            haveOut = true;
        } else if (arg == "--records") {
            if (haveRecords)
                return usageError("--records given twice");
            if (!parseNumber(value, opt.records) || opt.records > gendb::kMaxRecords)
                return usageError(
                    "--records wants a whole number from 0 to 100000000, not '" + std::string(value) + "'");
            haveRecords = true;
        } else {
            if (haveSeed)
                return usageError("--seed given twice");
            if (!parseNumber(value, opt.seed))
                return usageError("--seed wants a non-negative whole number, not '" + std::string(value) + "'");
            haveSeed = true;
        }
    }
    if (!haveOut)
        return usageError("--out PATH is required");
    return 0;
}

class Database {
public:
    ~Database()
    {
        if (m_insert)
            sqlite3_finalize(m_insert);
        if (m_db)
            sqlite3_close(m_db);
    }

    bool open(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            return fail("cannot create");
        // Nothing here needs to survive a crash: the file is renamed into
        // place only after it is complete.
        return exec("PRAGMA page_size=4096;"
                    "PRAGMA encoding='UTF-8';"
                    "PRAGMA journal_mode=OFF;"
                    "PRAGMA synchronous=OFF;"
                    "PRAGMA locking_mode=EXCLUSIVE;"
                    "PRAGMA cache_size=-65536;")
            && exec(schema::createTableSql().c_str()) && exec("BEGIN")
            && (sqlite3_prepare_v2(m_db, schema::insertTextsSql().c_str(), -1, &m_insert, nullptr) == SQLITE_OK
                || fail("cannot prepare"));
    }

    bool insert(const gendb::Record& r)
    {
        auto text = [this](int column, const std::string& value) {
            sqlite3_bind_text(m_insert, column, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
        };
        text(1, r.name);
        text(2, r.address);
        text(3, r.phone);
        text(4, r.kind);
        if (r.note)
            text(5, *r.note);
        else
            sqlite3_bind_null(m_insert, 5);
        const int rc = sqlite3_step(m_insert);
        sqlite3_reset(m_insert);
        return rc == SQLITE_DONE || fail("cannot insert");
    }

    bool finish()
    {
        sqlite3_finalize(m_insert);
        m_insert = nullptr;
        if (!exec("COMMIT"))
            return false;
        const int rc = sqlite3_close(m_db);
        m_db = nullptr;
        return rc == SQLITE_OK || fail("cannot close");
    }

    const std::string& error() const { return m_error; }

private:
    bool exec(const char* sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
            return true;
        m_error = message ? message : "unknown error";
        sqlite3_free(message);
        return false;
    }

    bool fail(const char* what)
    {
        m_error = std::string(what) + ": " + (m_db ? sqlite3_errmsg(m_db) : "out of memory");
        return false;
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    std::string m_error;
};

bool writeDatabase(const std::string& path, const Options& opt, std::string& error)
{
    Database db;
    if (!db.open(path)) {
        error = db.error();
        return false;
    }
    gendb::Generator gen(opt.seed, opt.records);
    gendb::Record record;
    while (gen.next(record)) {
        if (!db.insert(record)) {
            error = db.error();
            return false;
        }
    }
    if (!db.finish()) {
        error = db.error();
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options opt;
    if (const int rc = parseArguments(argc, argv, opt); rc != 0)
        return rc;
    if (opt.help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        return 0;
    }

    if (const std::string problem = gendb::Generator::checkTables(); !problem.empty()) {
        std::fprintf(stderr, "gendb: internal error: %s\n", problem.c_str());
        return 1;
    }

    const std::string tmp = opt.out + ".tmp";
    std::remove(tmp.c_str()); // a leftover of an interrupted run

    std::string error;
    if (!writeDatabase(tmp, opt, error)) {
        std::remove(tmp.c_str());
        std::fprintf(stderr, "gendb: %s: %s\n", tmp.c_str(), error.c_str());
        return 1;
    }
    if (std::rename(tmp.c_str(), opt.out.c_str()) != 0) {
        const std::error_code ec(errno, std::generic_category());
        std::remove(tmp.c_str());
        std::fprintf(stderr, "gendb: cannot rename %s to %s: %s\n", tmp.c_str(), opt.out.c_str(), ec.message().c_str());
        return 1;
    }
    return 0;
}

// The threading model of dbplatform.h, exercised: separate connections on separate
// threads at once, objects made on one thread and released on another, references
// dropped on many threads at once, and the process-wide registries used from many
// threads together. Under the ThreadSanitizer build (scripts/test-tsan.sh) a data race
// fails these tests even when the results happen to come out right.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/dbplatform.h>

#include "Database.h"

namespace {

using threadtest::Database;
using testdb::Target;

constexpr int kThreads = 4;

// Runs `work(i)` on kThreads threads at once and answers what each one threw, if anything.
std::vector<std::string> OnThreads(const std::function<void(int)>& work) {
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            CoInitialize(nullptr);
            // Started together, so that the work overlaps.
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            try {
                work(i);
            } catch (const _com_error& error) {
                failures[i] = "_com_error " + std::to_string(error.Error()) + ": " + error.Description().str();
            } catch (const std::exception& error) {
                failures[i] = error.what();
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads) thread.join();
    return failures;
}

void ExpectNoFailures(const std::vector<std::string>& failures) {
    for (std::size_t i = 0; i < failures.size(); ++i) EXPECT_EQ(failures[i], "") << "thread " << i;
}

// Each thread its own connection and recordsets: transactions that commit and roll back
// their batches, and readers, all at once.
class PerThreadConnections : public ::testing::TestWithParam<Target> {};

TEST_P(PerThreadConnections, WorkSideBySide) {
    const Target target = GetParam();
    std::vector<std::unique_ptr<Database>> databases;
    for (int i = 0; i < kThreads; ++i)
        databases.push_back(std::make_unique<Database>(target, "model" + std::to_string(i)));
    TESTDB_REQUIRE(databases[0]->connectionString, target);

    std::vector<long> counts(kThreads, -1);
    ExpectNoFailures(OnThreads([&](int i) {
        const Database& db = *databases[i];
        _ConnectionPtr connection = db.Connect();
        db.CreateTable(connection);
        for (int round = 0; round < 3; ++round) {
            const long first = round * 100 + 1;
            _RecordsetPtr rows = db.Open(connection, "select * from " + db.table, adLockBatchOptimistic);
            connection->BeginTrans();
            db.AddBatch(rows, first, first + 19);
            connection->CommitTrans();
            connection->BeginTrans();
            db.AddBatch(rows, first + 50, first + 59);
            connection->RollbackTrans();
        }
        counts[i] = db.Count(connection);
        db.DropTable(connection);
        connection->Close();
    }));
    for (int i = 0; i < kThreads; ++i) EXPECT_EQ(counts[i], 60) << "thread " << i;
}

INSTANTIATE_TEST_SUITE_P(Targets, PerThreadConnections, ::testing::ValuesIn(threadtest::kTargets),
                         [](const auto& info) { return std::string(testdb::TargetName(info.param)); });

// A connection and a recordset made and used on one thread, then handed over whole to
// another thread, which goes on using them and releases them there.
class HandedOver : public ::testing::TestWithParam<Target> {};

TEST_P(HandedOver, ToAnotherThreadThatReleasesThem) {
    const Target target = GetParam();
    Database db(target, "handed");
    TESTDB_REQUIRE(db.connectionString, target);
    _ConnectionPtr connection;
    _RecordsetPtr rows;
    std::thread maker([&] {
        connection = db.Connect();
        db.CreateTable(connection);
        rows = db.Open(connection, "select * from " + db.table + " order by id", adLockBatchOptimistic);
        db.AddBatch(rows, 1, 5);
        rows->MoveFirst();
    });
    maker.join();

    long seen = 0;
    std::string failure;
    std::thread user([&, connection = std::move(connection), rows = std::move(rows)]() mutable {
        try {
            for (; !rows->GetadoEOF(); rows->MoveNext()) ++seen;
            rows = nullptr;  // the last reference: released here
            seen += 100 * db.Count(connection);
            db.DropTable(connection);
            connection = nullptr;
        } catch (const _com_error& error) {
            failure = error.Description().str();
        }
    });
    user.join();
    EXPECT_EQ(failure, "");
    EXPECT_EQ(seen, 505);
}

INSTANTIATE_TEST_SUITE_P(Targets, HandedOver, ::testing::ValuesIn(threadtest::kTargets),
                         [](const auto& info) { return std::string(testdb::TargetName(info.param)); });

// A COM class of the test's own that counts its live objects atomically.
struct IThreadThing : IUnknown {
    static constexpr IID iid{0x3F6E0B10, 0x2A4C, 0x4D8E, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x07, 0x18}};
};
class ThreadThing : public dbplatform::RefCounted<IThreadThing> {
public:
    static inline std::atomic<int> alive{0};
    ThreadThing() { alive.fetch_add(1); }
    ~ThreadThing() override { alive.fetch_sub(1); }
    HRESULT QueryInterface(REFIID id, void** object) override {
        if (id != IUnknown::iid && id != IThreadThing::iid) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = static_cast<IThreadThing*>(this);
        return S_OK;
    }
};

// References taken and dropped on many threads at once, as smart-pointer copies of one
// object, of an open connection while its own thread uses it, and of one text: every
// count comes back where it was, and the last release on any thread frees the object.
TEST(SharedReferences, CountsStayExactAcrossThreads) {
    constexpr int kCopies = 100000;
    auto* thing = new ThreadThing();
    const int aliveBefore = ThreadThing::alive.load() - 1;
    _bstr_t text("Möller charge");
    ExpectNoFailures(OnThreads([&](int) {
        for (int n = 0; n < kCopies; ++n) {
            _com_ptr_t<IThreadThing> copy(thing);
            _bstr_t textCopy(text);
            if (n % 1000 == 0 && std::string(static_cast<const char*>(textCopy)) != "Möller charge")
                throw std::runtime_error("the text changed under a copy");
        }
    }));
    EXPECT_EQ(thing->AddRef(), 2u);
    EXPECT_EQ(thing->Release(), 1u);
    EXPECT_EQ(text.RefCount(), 1u);

    // The creator's reference dropped on one thread while the others still hold theirs:
    // exactly one of them frees it.
    std::vector<_com_ptr_t<IThreadThing>> held(kThreads, _com_ptr_t<IThreadThing>(thing));
    thing->Release();
    ExpectNoFailures(OnThreads([&](int i) { held[i] = nullptr; }));
    EXPECT_EQ(ThreadThing::alive.load(), aliveBefore);
}

TEST(SharedReferences, OfAConnectionInUseOnItsOwnThread) {
    Database db(Target::SqliteNative, "refs");
    _ConnectionPtr connection = db.Connect();
    db.CreateTable(connection);
    std::atomic<bool> done{false};
    std::thread user([&] {
        for (int n = 0; n < 200; ++n) db.Count(connection);
        done.store(true);
    });
    std::vector<std::thread> holders;
    for (int i = 0; i < 2; ++i)
        holders.emplace_back([&] {
            while (!done.load()) _ConnectionPtr copy(connection);
        });
    user.join();
    for (std::thread& holder : holders) holder.join();
    EXPECT_EQ(connection->AddRef(), 2u);
    EXPECT_EQ(connection->Release(), 1u);
    db.DropTable(connection);
}

// The class registry, the provider registry, the diagnostics handler and the per-thread
// CoInitialize counts, used by all threads at once.
TEST(ProcessWideState, UsedFromManyThreadsAtOnce) {
    std::atomic<int> reported{0};
    dbplatform::DiagnosticHandler previous = dbplatform::SetDiagnosticHandler(nullptr);
    ExpectNoFailures(OnThreads([&](int i) {
        const std::string suffix = std::to_string(i);
        // CoInitialize counts are the thread's own (OnThreads made the first call).
        if (dbplatform::ComInitializeCount() != 1) throw std::runtime_error("count not per thread");
        if (CoInitialize(nullptr) != S_FALSE) throw std::runtime_error("second CoInitialize not S_FALSE");
        CoUninitialize();

        // A class of the thread's own, registered, created, failed on purpose and cleared.
        const std::string progId = "Threads.Thing" + suffix;
        const CLSID clsid{0x3F6E0B20u + static_cast<unsigned>(i), 0x2A4C, 0x4D8E, {0xA1, 0, 0, 0, 0, 0, 0, 0x19}};
        dbplatform::RegisterComClass(progId.c_str(), clsid, [](IUnknown** object) {
            *object = new ThreadThing();
            return S_OK;
        });
        for (int n = 0; n < 200; ++n) {
            CLSID found{};
            if (dbplatform::ClassIdFromProgId(progId.c_str(), &found) != S_OK || !(found == clsid))
                throw std::runtime_error("ProgID not found");
            _com_ptr_t<IThreadThing> thing;
            if (CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IThreadThing::iid, reinterpret_cast<void**>(&thing)) != S_OK)
                throw std::runtime_error("class not created");
            dbplatform::SetCreateFailure(progId.c_str(), E_OUTOFMEMORY);
            IUnknown* none = nullptr;
            if (CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IUnknown::iid, reinterpret_cast<void**>(&none)) !=
                E_OUTOFMEMORY)
                throw std::runtime_error("injected failure not seen");
            dbplatform::SetCreateFailure(progId.c_str(), S_OK);
            _ConnectionPtr connection;
            if (connection.CreateInstance("ADODB.Connection") != S_OK) throw std::runtime_error("no connection");
        }

        // Providers registered and found while others do the same.
        const std::string providerName = "ThreadProvider" + suffix;
        dbplatform::provider::RegisterProvider(providerName, [](const dbplatform::provider::OpenRequest&) {
            return std::unique_ptr<dbplatform::provider::Session>();
        });
        if (!dbplatform::provider::FindProvider(providerName) || !dbplatform::provider::FindProvider("SQLite"))
            throw std::runtime_error("provider not found");

        // Failures reported while the handler is swapped by the other threads.
        for (int n = 0; n < 50; ++n) {
            dbplatform::SetDiagnosticHandler([&](const dbplatform::DiagnosticRecord&) { reported.fetch_add(1); });
            _ConnectionPtr connection;
            connection.CreateInstance("ADODB.Connection");
            try {
                connection->Open(_bstr_t("Provider=" + providerName), _bstr_t(""), _bstr_t(""), -1);
            } catch (const _com_error&) {
            }
        }
    }));
    dbplatform::SetDiagnosticHandler(previous);
    EXPECT_EQ(reported.load(), kThreads * 50);
}

}  // namespace

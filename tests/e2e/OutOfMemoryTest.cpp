// The C library when memory runs out: a program of its own, since it replaces
// the global operator new with one that fails at the Nth allocation of the
// thread that calls the library, or of any thread. It links the library's room statically.

#include "e2e/Harness.h"

#include <tessivane/scan.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

/// Allocations of this thread until the one that fails; 0: none fails.
thread_local unsigned long t_allocationsLeft = 0;
/// Whether the armed failure came.
thread_local bool t_failed = false;
/// Whether it came as a bad_alloc (not as the null of a nothrow new, which the
/// standard library may absorb: a stable sort then sorts without its buffer).
thread_local bool t_thrown = false;

/// The same over the allocations of every thread: a whole run's workers too.
std::atomic<unsigned long> g_allocationsLeft{0};
std::atomic<bool> g_failed{false};
std::atomic<bool> g_thrown{false};

/// Counts one allocation down; true when it is the one to fail.
bool FailsNow()
{
    if (t_allocationsLeft != 0 && --t_allocationsLeft == 0) {
        t_failed = true;
        t_thrown = true;
        return true;
    }
    unsigned long left = g_allocationsLeft.load();
    while (left != 0 && !g_allocationsLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left != 1)
        return false;
    g_failed = true;
    g_thrown = true;
    return true;
}

void* Allocate(std::size_t size)
{
    if (FailsNow())
        throw std::bad_alloc();
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

} // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        t_thrown = false;
        g_thrown = false;
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept { return operator new(size, nothrow); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

#ifdef _WIN32
const char* const kPlain = "PlainEffect.dll";
#else
const char* const kPlain = "PlainEffect.so";
#endif

/// Every allocation of a whole request fails in turn, from the first on, until
/// one runs through: each failure gives NULL (a scanner or a result), never an
/// abort, and leaks nothing (AddressSanitizer checks at the end).
TEST(ClientScan, RunningOutOfMemoryGivesNullNeverAnAbort)
{
    const std::string plain = FixturePath(kPlain);
    const std::string dumps = MakeTemporaryFolder("out-of-memory");
    tvs_options options;
    tvs_options_init(&options); // the server in bin/, beside this program
    options.dump_folder = dumps.c_str();
    unsigned long failures = 0;
    for (unsigned long failing = 1;; ++failing) {
        t_failed = false;
        t_allocationsLeft = failing;
        tvs_scanner* const scanner = tvs_scanner_new(&options);
        tvs_result* const result = scanner != nullptr ? tvs_scan(scanner, plain.c_str()) : nullptr;
        tvs_scanner_free(scanner);
        t_allocationsLeft = 0;
        if (!t_failed) {
            ASSERT_NE(nullptr, result);
            EXPECT_EQ(TVS_SCANNED, tvs_result_outcome(result)) << tvs_result_error(result);
            EXPECT_EQ(0x4678506Cu, tvs_result_unique_id(result));
            tvs_result_free(result);
            break;
        }
        ++failures;
        EXPECT_TRUE(scanner == nullptr || result == nullptr)
            << "allocation " << failing << " failed, yet: " << tvs_outcome_name(tvs_result_outcome(result)) << " "
            << tvs_result_error(result);
        tvs_result_free(result);
    }
    EXPECT_LT(100u, failures) << "a whole request allocates more than that";

    // A whole run into a database, the failing allocation on any of its
    // threads: its status says so, and the database is never left half written
    // (the next run reads it).
    const std::string database = dumps + "/run.json";
    const char* const paths[] = {plain.c_str()};
    tvs_scanner* const scanner = tvs_scanner_new(&options);
    ASSERT_NE(nullptr, scanner);
    unsigned long runFailures = 0;
    for (unsigned long failing = 1;; ++failing) {
        std::remove(database.c_str());
        tvs_run_options run;
        tvs_run_options_init(&run);
        run.database = database.c_str();
        run.jobs = 1;
        g_failed = false;
        g_thrown = false;
        g_allocationsLeft = failing;
        const tvs_run_status status = tvs_run(scanner, paths, 1, &run, nullptr, nullptr);
        g_allocationsLeft = 0;
        if (!g_failed) {
            EXPECT_EQ(TVS_RUN_DONE, status) << tvs_scanner_error(scanner);
            break;
        }
        ++runFailures;
        EXPECT_EQ(g_thrown ? TVS_RUN_OUT_OF_MEMORY : TVS_RUN_DONE, status)
            << "allocation " << failing << ": " << tvs_scanner_error(scanner);
        run.database = database.c_str();
        EXPECT_NE(TVS_RUN_DATABASE_ERROR, tvs_run(scanner, paths, 0, &run, nullptr, nullptr))
            << "allocation " << failing << " left a database the next run cannot read: "
            << tvs_scanner_error(scanner);
    }
    tvs_scanner_free(scanner);
    EXPECT_LT(100u, runFailures) << "a whole run allocates more than that";
}

} // namespace

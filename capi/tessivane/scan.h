/**
 * @file scan.h
 * @brief The Tessivane plug-in scan library: scans VST 2 plug-in libraries in
 * separate scan server processes, so that a plug-in that crashes or hangs
 * never takes the host down.
 *
 * A host makes a scanner (tvs_scanner_new), hands it one request after another
 * (tvs_scan) and reads each result (tvs_result_...). Every request ends in
 * exactly one outcome. Or it hands the scanner whole files and folders
 * (tvs_run): the scanner then does what PluginScanner scan does, with the same
 * database, and reports each result as it ends.
 *
 * Rules that hold for every call:
 * - Every text, given or returned, is UTF-8.
 * - Every handle is opaque.
 * - No exception crosses this interface.
 * - Running out of memory gives a NULL result (or a NULL scanner), never an abort.
 * - A text that a result returns lives as long as the result.
 * - A scanner serves one thread at a time; different scanners may work in
 *   parallel; tvs_interrupt may come from any thread.
 */
#ifndef TESSIVANE_SCAN_H
#define TESSIVANE_SCAN_H

#include <stddef.h>
#include <stdint.h>

/**
 * @def TVS_API
 * @brief Marks the library's functions: on Windows exported by the DLL (built
 * with TVS_BUILDING_LIBRARY defined) and imported by the host; elsewhere of
 * default visibility, the only symbols the shared library exports.
 */
#if defined(_WIN32)
#if defined(TVS_BUILDING_LIBRARY)
#define TVS_API __declspec(dllexport)
#else
#define TVS_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define TVS_API __attribute__((visibility("default")))
#else
#define TVS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @brief The library's version.
 * @return The package version, "MAJOR.MINOR.PATCH" ("1.0.0"); a static text.
 */
TVS_API const char* tvs_version(void);

/** @brief How a request ended. */
typedef enum tvs_outcome {
    TVS_SCANNED,     /**< The plug-in was loaded and its record read: the record names no error. */
    TVS_FAILED,      /**< The plug-in was examined and refused (the record's error), or the file cannot be read. */
    TVS_CRASHED,     /**< The scan server ended during the request (the plug-in crashed it). */
    TVS_TIMED_OUT,   /**< The scan server stayed silent longer than the time-out and was stopped. */
    TVS_NOT_PLUGIN,  /**< The file is not a library any scan server loads; no server was started. */
    TVS_NO_SERVER,   /**< The scan server of the library's platform could not be started: the plug-in was not examined. */
    TVS_INTERRUPTED  /**< tvs_interrupt ended the request before it finished. */
} tvs_outcome;

/**
 * @brief The outcome's name as the scanner's database writes it.
 * @param outcome An outcome.
 * @return "scanned", "failed", "crashed", "timedOut", "notPlugin", "noServer"
 *         or "interrupted"; "" for a value that is no outcome. A static text.
 */
TVS_API const char* tvs_outcome_name(tvs_outcome outcome);

/**
 * @brief What a scanner is made with.
 *
 * Set size (tvs_options_init does) so that a library reads only the members it
 * knows: a host built against a newer header keeps working with an older
 * library, and the reverse (members the library knows but the host's size does
 * not cover keep their defaults).
 */
typedef struct tvs_options {
    /** sizeof(tvs_options) as the host was built; set by tvs_options_init. */
    size_t size;
    /** The 64-bit scan server (on Linux the native one); NULL: the one installed with the library. */
    const char* server;
    /** Windows: the 32-bit scan server, for x86 libraries; NULL: the one installed with the library. Not used on Linux. */
    const char* server_x86;
    /** A folder below which each server writes its dumps or crash reports; NULL or "": none are written. */
    const char* dump_folder;
    /** How long a server may stay silent during a request, in milliseconds; default 30000; 0: no limit. */
    unsigned timeout_ms;
    /** Non-zero (the default): a request that crashes its server is tried once more in a fresh server. */
    int retry_crash;
} tvs_options;

/**
 * @brief Sets every member to its default and size to sizeof(tvs_options).
 * @param options The options to fill; NULL is allowed (nothing happens).
 */
TVS_API void tvs_options_init(tvs_options* options);

/** @brief A scanner: one scan server at a time, started when a request needs it. */
typedef struct tvs_scanner tvs_scanner;

/**
 * @brief Makes a scanner. No server starts until a request needs one.
 *
 * The option texts are copied: they need not outlive the call.
 * @param options The options (see tvs_options_init); NULL: every default.
 * @return The scanner, or NULL when memory ran out or the options are unusable
 *         (a size too small to hold the size member itself).
 */
TVS_API tvs_scanner* tvs_scanner_new(const tvs_options* options);

/**
 * @brief Ends the scanner's server, if one runs, and frees the scanner.
 * @param scanner The scanner; NULL is allowed (nothing happens). No
 *        tvs_interrupt may be running on it.
 */
TVS_API void tvs_scanner_free(tvs_scanner* scanner);

/**
 * @brief Interrupts the scanner's request in progress; safe from any thread.
 *
 * The request in progress ends soon (its server is stopped) with
 * TVS_INTERRUPTED. When no request is in progress, the next tvs_scan ends at
 * once with TVS_INTERRUPTED, so an interrupt that comes just before a request
 * is never lost. An interrupt ends one request: the requests after it are
 * scanned as usual (after one it cut short, in a fresh server). Interrupting
 * twice before a request ends counts once.
 * @param scanner The scanner; NULL is allowed (nothing happens).
 */
TVS_API void tvs_interrupt(tvs_scanner* scanner);

/** @brief How one request ended, with the plug-in's record when one arrived. */
typedef struct tvs_result tvs_result;

/**
 * @brief Scans one request and waits for its outcome.
 *
 * The request goes to the server of the library's platform (Windows: x64
 * libraries to the 64-bit server, x86 libraries to the 32-bit one); the
 * scanner keeps one server at a time and replaces it after a crash, a time-out
 * or an interrupt. A file that no server loads is answered TVS_NOT_PLUGIN
 * without a server.
 * @param scanner The scanner.
 * @param request A library path, or "path>XXXXXXXX" for the sub-plug-in of a
 *        shell with that id (eight hexadecimal digits).
 * @return The result (free it with tvs_result_free); NULL only when memory ran
 *         out. A NULL scanner or request gives a TVS_FAILED result.
 */
TVS_API tvs_result* tvs_scan(tvs_scanner* scanner, const char* request);

/**
 * @brief Frees a result and every text it returned.
 * @param result The result; NULL is allowed (nothing happens).
 */
TVS_API void tvs_result_free(tvs_result* result);

/**
 * @brief How the request ended.
 * @param result A result; NULL gives TVS_FAILED.
 * @return The outcome.
 */
TVS_API tvs_outcome tvs_result_outcome(const tvs_result* result);

/**
 * @brief Why the request did not succeed, in words.
 * @param result A result.
 * @return The reason; "" for TVS_SCANNED (and for NULL).
 */
TVS_API const char* tvs_result_error(const tvs_result* result);

/**
 * @brief The whole outcome as one JSON object with the members of the
 * scanner's database entry.
 *
 * "path", "subId" (a sub-plug-in only), "fileSize", "fileTime", "outcome"
 * (tvs_outcome_name), "platform" (when a server loads the library),
 * "scannedAt" (UTC), then what applies: "error", "record" (the plug-in record,
 * a shell's with "shells", an array of {"id", "name"}), "exitCode" (crashed
 * only), "dumps", "lastLines" (the server's last output lines before a crash
 * or a time-out), "dialogs" (titles of windows the server showed).
 * @param result A result.
 * @return The JSON text; "" for NULL.
 */
TVS_API const char* tvs_result_json(const tvs_result* result);

/**
 * @brief The request the result answers.
 * @param result A result.
 * @return The library path, or "path>XXXXXXXX" for a shell's sub-plug-in; "" for NULL.
 */
TVS_API const char* tvs_result_request(const tvs_result* result);

/**
 * @brief The record's plug-in name.
 * @param result A result.
 * @return The name; "" without a record.
 */
TVS_API const char* tvs_result_name(const tvs_result* result);

/**
 * @brief The record's vendor.
 * @param result A result.
 * @return The vendor; "" without a record.
 */
TVS_API const char* tvs_result_vendor(const tvs_result* result);

/**
 * @brief The record's product.
 * @param result A result.
 * @return The product; "" without a record.
 */
TVS_API const char* tvs_result_product(const tvs_result* result);

/**
 * @brief The record's version, as the record writes it.
 * @param result A result.
 * @return The version; "" without a record.
 */
TVS_API const char* tvs_result_version(const tvs_result* result);

/**
 * @brief The platform of the server that loads the library.
 * @param result A result.
 * @return "x64" or "x86"; "" when no server loads the library (TVS_NOT_PLUGIN,
 *         a file that cannot be read).
 */
TVS_API const char* tvs_result_platform(const tvs_result* result);

/**
 * @brief The plug-in's 32-bit unique id.
 * @param result A result.
 * @return The id; 0 without a record.
 */
TVS_API uint32_t tvs_result_unique_id(const tvs_result* result);

/**
 * @brief The plug-in's category, as VST 2 numbers them.
 * @param result A result.
 * @return The category; -1 without a record.
 */
TVS_API int tvs_result_category(const tvs_result* result);

/**
 * @brief The plug-in's number of audio inputs.
 * @param result A result.
 * @return The count; 0 without a record.
 */
TVS_API int tvs_result_num_inputs(const tvs_result* result);

/**
 * @brief The plug-in's number of audio outputs.
 * @param result A result.
 * @return The count; 0 without a record.
 */
TVS_API int tvs_result_num_outputs(const tvs_result* result);

/**
 * @brief How many sub-plug-ins a shell's record lists.
 * @param result A result.
 * @return The count, in the shell's order; 0 for anything but a shell.
 */
TVS_API size_t tvs_result_shell_count(const tvs_result* result);

/**
 * @brief The id of one of a shell's sub-plug-ins; scan it with the request "path>XXXXXXXX".
 * @param result A result.
 * @param index From 0 to tvs_result_shell_count() - 1.
 * @return The id; 0 for an index out of range.
 */
TVS_API uint32_t tvs_result_shell_id(const tvs_result* result, size_t index);

/**
 * @brief The name of one of a shell's sub-plug-ins.
 * @param result A result.
 * @param index From 0 to tvs_result_shell_count() - 1.
 * @return The name; "" for an index out of range.
 */
TVS_API const char* tvs_result_shell_name(const tvs_result* result, size_t index);

/**
 * @brief How many dumps (Windows) or crash reports (Linux) the servers left for the request.
 *
 * A crash tried once more can leave one for each attempt.
 * @param result A result.
 * @return The count; always 0 without a dump folder.
 */
TVS_API size_t tvs_result_dump_count(const tvs_result* result);

/**
 * @brief The full path of one dump or crash report, the first attempt's first.
 * @param result A result.
 * @param index From 0 to tvs_result_dump_count() - 1.
 * @return The path; "" for an index out of range.
 */
TVS_API const char* tvs_result_dump(const tvs_result* result, size_t index);

/**
 * @brief What a whole run is made with.
 *
 * size works as in tvs_options: members the host's size does not cover keep
 * their defaults.
 */
typedef struct tvs_run_options {
    /** sizeof(tvs_run_options) as the host was built; set by tvs_run_options_init. */
    size_t size;
    /** The database file; NULL or "": the user's own one, which PluginScanner uses too. */
    const char* database;
    /** How many servers scan at once; 0 (the default): one per processor. */
    unsigned jobs;
    /** Non-zero: files whose last scan crashed or timed out are scanned again although unchanged. */
    int retry;
    /** Non-zero: every file is scanned again, changed or not. */
    int rescan;
} tvs_run_options;

/**
 * @brief Sets every member to its default and size to sizeof(tvs_run_options).
 * @param options The options to fill; NULL is allowed (nothing happens).
 */
TVS_API void tvs_run_options_init(tvs_run_options* options);

/**
 * @brief Called for each request of a run that ended, on the thread that called tvs_run.
 *
 * The result is the request's new database entry (tvs_result_request names
 * it). A path given to the run that leads to no library file (missing, not
 * readable) comes last, TVS_FAILED with the reason, and has no entry. The
 * result lives until the call returns: copy what is kept, and do not free it.
 */
typedef void (*tvs_progress_fn)(void* context, const tvs_result* result);

/** @brief How a whole run ended. */
typedef enum tvs_run_status {
    TVS_RUN_DONE,           /**< Every file was scanned or found unchanged; the database is saved. */
    TVS_RUN_INTERRUPTED,    /**< tvs_interrupt stopped the run: what ended is saved, the next run scans the rest. */
    TVS_RUN_DATABASE_ERROR, /**< The database could not be opened (another run holds it, it is not a database) or saved. */
    TVS_RUN_SERVER_ERROR,   /**< The 64-bit server is missing or cannot be started: the run stopped, what ended is saved. */
    TVS_RUN_OUT_OF_MEMORY   /**< Memory ran out. */
} tvs_run_status;

/**
 * @brief Scans files and folders into the database as PluginScanner scan does.
 *
 * A folder is walked for its library files (.dll on Windows, .so on Linux, in
 * any case), a file is taken as it is. Only what the database does not hold as
 * it is now is scanned: new and changed files, the sub-plug-ins an earlier,
 * interrupted run left, and what options asks for. Entries of files that are
 * gone are dropped. jobs servers scan at once, each library with all its
 * sub-plug-ins on one server; the database is saved as the run goes, so a run
 * that is interrupted or killed loses nothing that had ended. The scanner's
 * options apply (servers, dump folder, time-out, retry_crash); without the
 * 32-bit server x86 libraries end TVS_NO_SERVER and the run goes on. While a
 * run holds a database, another run of it fails with TVS_RUN_DATABASE_ERROR.
 * tvs_interrupt from any thread stops the run soon: the requests in progress
 * are dropped, not recorded.
 * @param scanner The scanner; NULL gives TVS_RUN_SERVER_ERROR.
 * @param paths path_count paths of files and folders (full or relative to the
 *        current folder); NULL entries are skipped; paths may be NULL when
 *        path_count is 0 (nothing is scanned; gone files are still dropped).
 * @param path_count How many paths there are.
 * @param options The run's options (see tvs_run_options_init); NULL: every default.
 * @param progress Called for each request that ended; NULL: none.
 * @param context Handed to progress as it is.
 * @return How the run ended; tvs_scanner_error says why it did not end TVS_RUN_DONE.
 */
TVS_API tvs_run_status tvs_run(tvs_scanner* scanner, const char* const* paths, size_t path_count,
                               const tvs_run_options* options, tvs_progress_fn progress, void* context);

/**
 * @brief Why the scanner's last run did not end TVS_RUN_DONE.
 * @param scanner The scanner.
 * @return The reason; "" after a run that ended TVS_RUN_DONE, before the first
 *         run and for NULL. Lives until the scanner's next run or its end.
 */
TVS_API const char* tvs_scanner_error(const tvs_scanner* scanner);

#ifdef __cplusplus
}
#endif

#endif

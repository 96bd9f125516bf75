/* Scans the plug-in libraries named on the command line with the scan server
 * installed beside the C library, and prints one line per result:
 *   outcome <TAB> unique id <TAB> name <TAB> error
 * followed, for a shell, by one indented line per sub-plug-in. */
#include <tessivane/scan.h>

#include <stdio.h>

static void print_result(const tvs_result* result)
{
    size_t index;
    printf("%s\t%08X\t%s\t%s\n", tvs_outcome_name(tvs_result_outcome(result)),
           (unsigned)tvs_result_unique_id(result), tvs_result_name(result), tvs_result_error(result));
    for (index = 0; index < tvs_result_shell_count(result); ++index)
        printf("\tshell\t%08X\t%s\n", (unsigned)tvs_result_shell_id(result, index),
               tvs_result_shell_name(result, index));
}

int main(int argc, char** argv)
{
    tvs_options options;
    tvs_scanner* scanner;
    int index;

    if (argc < 2) {
        fprintf(stderr, "usage: c-host PLUGIN...\n(tessivane-scan %s)\n", tvs_version());
        return 2;
    }
    tvs_options_init(&options);
    options.timeout_ms = 10000;
    scanner = tvs_scanner_new(&options);
    if (scanner == NULL) {
        fprintf(stderr, "c-host: cannot make a scanner\n");
        return 1;
    }
    for (index = 1; index < argc; ++index) {
        tvs_result* result = tvs_scan(scanner, argv[index]);
        if (result == NULL) {
            fprintf(stderr, "c-host: out of memory\n");
            break;
        }
        print_result(result);
        tvs_result_free(result);
    }
    tvs_scanner_free(scanner);
    return 0;
}

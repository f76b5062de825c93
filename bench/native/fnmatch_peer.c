/* The native peer of kwillbench's wildcard rows: the C library's fnmatch with FNM_CASEFOLD
 * over the names and patterns that kwillbench wrote into the build folder, timed the way the
 * benchmark times its own rows (batches of about 20 ms, the median of nine), in the "C" locale,
 * where fnmatch compares bytes without converting to wide characters.
 *
 * usage: fnmatch_peer NAMES PATTERNS
 * NAMES: one name a line. PATTERNS: label, pattern, flags (x FNM_EXTMATCH, ! count the names
 * that do not match), the library's match count; tab-separated.
 * Prints one line a pattern: label, nanoseconds per name, matches, the library's matches. */
#define _GNU_SOURCE
#include <fnmatch.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double Now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

static char** names;
static size_t nameCount;
static volatile size_t sink;

static size_t Pass(const char* pattern, int flags, int invert) {
    size_t hits = 0;
    for (size_t i = 0; i < nameCount; ++i)
        hits += (fnmatch(pattern, names[i], flags) == 0) != invert;
    return hits;
}

static int CompareDoubles(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

/* Nanoseconds per name: calibrate a batch to about 20 ms, then the median of nine batches. */
static double Time(const char* pattern, int flags, int invert) {
    long calls = 1;
    sink = Pass(pattern, flags, invert);
    for (;;) {
        const double start = Now();
        for (long i = 0; i < calls; ++i) sink = Pass(pattern, flags, invert);
        const double elapsed = Now() - start;
        if (elapsed >= 0.02 || calls >= (1L << 30)) break;
        long factor = elapsed > 0 ? (long)(0.02 / elapsed) + 1 : 16;
        calls *= factor < 2 ? 2 : factor > 16 ? 16 : factor;
    }
    double perCall[9];
    for (int b = 0; b < 9; ++b) {
        const double start = Now();
        for (long i = 0; i < calls; ++i) sink = Pass(pattern, flags, invert);
        perCall[b] = (Now() - start) / (double)calls;
    }
    qsort(perCall, 9, sizeof(double), CompareDoubles);
    return perCall[4] * 1e9 / (double)nameCount;
}

static char* Strip(char* line) {
    line[strcspn(line, "\r\n")] = 0;
    return line;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: fnmatch_peer NAMES PATTERNS\n");
        return 2;
    }
    setlocale(LC_ALL, "C");
    FILE* in = fopen(argv[1], "r");
    if (!in) {
        perror(argv[1]);
        return 1;
    }
    size_t capacity = 1024;
    names = malloc(capacity * sizeof(char*));
    char line[4096];
    while (fgets(line, sizeof line, in)) {
        if (nameCount == capacity) names = realloc(names, (capacity *= 2) * sizeof(char*));
        names[nameCount++] = strdup(Strip(line));
    }
    fclose(in);
    if (nameCount == 0) return 1;

    in = fopen(argv[2], "r");
    if (!in) {
        perror(argv[2]);
        return 1;
    }
    while (fgets(line, sizeof line, in)) {
        char* label = strtok(Strip(line), "\t");
        char* pattern = strtok(NULL, "\t");
        char* options = strtok(NULL, "\t");
        char* ours = strtok(NULL, "\t");
        if (!label || !pattern || !options) continue;
        const int flags = FNM_CASEFOLD | (strchr(options, 'x') ? FNM_EXTMATCH : 0);
        const int invert = strchr(options, '!') != NULL;
        const size_t hits = Pass(pattern, flags, invert);
        printf("%s\t%.2f\t%zu\t%s\n", label, Time(pattern, flags, invert), hits, ours ? ours : "");
    }
    fclose(in);
    return 0;
}

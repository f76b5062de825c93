/* The PCRE2 peer of kwillbench's "regex-peer" rows, a native Linux program: reads the texts and
 * patterns that the suite wrote (FOLDER/names.u16, FOLDER/lines.u16: UTF-16LE, one text per line;
 * FOLDER/rows.txt: corpus, case flag, the library's match count, pattern and row name, separated
 * by tabs) and runs each pattern over its corpus with pcre2_match_16, compiled without and with
 * the JIT, finding the first match anywhere in each text, as the library's rows do. Prints one
 * line per row: name, interpreter ns per text, JIT ns per text (0 without a JIT), and whether
 * the match counts agree with the library's. */
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

typedef struct {
    PCRE2_SPTR16* text;
    size_t* length;
    size_t count;
} Corpus;

static int ReadCorpus(const char* folder, const char* name, Corpus* corpus) {
    char path[4096];
    snprintf(path, sizeof path, "%s/%s.u16", folder, name);
    FILE* f = fopen(path, "rb");
    if (!f) return 0;
    fseek(f, 0, SEEK_END);
    long bytes = ftell(f);
    fseek(f, 0, SEEK_SET);
    PCRE2_UCHAR16* data = malloc((size_t)bytes + 2);
    size_t units = fread(data, 2, (size_t)bytes / 2, f);
    fclose(f);
    size_t lines = 0;
    for (size_t i = 0; i < units; ++i) lines += data[i] == '\n';
    corpus->text = malloc(lines * sizeof *corpus->text);
    corpus->length = malloc(lines * sizeof *corpus->length);
    corpus->count = 0;
    size_t start = 0;
    for (size_t i = 0; i < units; ++i) {
        if (data[i] != '\n') continue;
        corpus->text[corpus->count] = data + start;
        corpus->length[corpus->count++] = i - start;
        start = i + 1;
    }
    return 1;
}

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static size_t Pass(const pcre2_code_16* code, pcre2_match_data_16* md, const Corpus* c) {
    size_t hits = 0;
    for (size_t i = 0; i < c->count; ++i)
        hits += pcre2_match_16(code, c->text[i], c->length[i], 0, 0, md, NULL) >= 0;
    return hits;
}

static int Compare(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

/* As kwillbench times: a warm-up, batches of about 20 ms, the median of nine; ns per text. */
static double Time(const pcre2_code_16* code, pcre2_match_data_16* md, const Corpus* c,
                   size_t* hits) {
    *hits = Pass(code, md, c);
    long calls = 1;
    for (;;) {
        double start = Now();
        for (long i = 0; i < calls; ++i) *hits = Pass(code, md, c);
        double elapsed = Now() - start;
        if (elapsed >= 0.02 || calls >= (1L << 30)) break;
        long f = elapsed > 0 ? (long)(0.02 / elapsed) + 1 : 16;
        calls *= f < 2 ? 2 : f > 16 ? 16 : f;
    }
    double perCall[9];
    for (int b = 0; b < 9; ++b) {
        double start = Now();
        for (long i = 0; i < calls; ++i) *hits = Pass(code, md, c);
        perCall[b] = (Now() - start) / (double)calls;
    }
    qsort(perCall, 9, sizeof perCall[0], Compare);
    return perCall[4] * 1e9 / (double)c->count;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: pcre2_peer FOLDER\n");
        return 2;
    }
    Corpus names, lines;
    char path[4096];
    snprintf(path, sizeof path, "%s/rows.txt", argv[1]);
    FILE* rows = fopen(path, "r");
    if (!rows || !ReadCorpus(argv[1], "names", &names) || !ReadCorpus(argv[1], "lines", &lines)) {
        fprintf(stderr, "pcre2_peer: cannot read the texts in %s\n", argv[1]);
        return 1;
    }
    char line[4096];
    while (fgets(line, sizeof line, rows)) {
        line[strcspn(line, "\r\n")] = 0;
        char* field[5];
        char* p = line;
        int n = 0;
        for (; n < 5 && p; ++n) {
            field[n] = p;
            p = strchr(p, '\t');
            if (p) *p++ = 0;
        }
        if (n < 5) continue;
        const Corpus* corpus = strcmp(field[0], "lines") == 0 ? &lines : &names;
        uint32_t options = atoi(field[1]) ? 0 : PCRE2_CASELESS;
        size_t expected = strtoull(field[2], NULL, 10);
        PCRE2_UCHAR16 pattern[1024];
        size_t len = strlen(field[3]);
        if (len >= 1024) continue;
        for (size_t i = 0; i < len; ++i) pattern[i] = (unsigned char)field[3][i];
        int error;
        PCRE2_SIZE offset;
        pcre2_code_16* code = pcre2_compile_16(pattern, len, options, &error, &offset, NULL);
        if (!code) continue;
        pcre2_match_data_16* md = pcre2_match_data_create_from_pattern_16(code, NULL);
        size_t hits = 0, jitHits = 0;
        double interp = Time(code, md, corpus, &hits);
        double jit = 0;
        if (pcre2_jit_compile_16(code, PCRE2_JIT_COMPLETE) == 0)
            jit = Time(code, md, corpus, &jitHits);
        printf("%s\t%.2f\t%.2f\t%s\n", field[4], interp, jit,
               hits == expected && (jit == 0 || jitHits == hits) ? "same" : "DIFFERENT");
        pcre2_match_data_free_16(md);
        pcre2_code_free_16(code);
    }
    fclose(rows);
    return 0;
}

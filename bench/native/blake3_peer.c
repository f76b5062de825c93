/* Times BLAKE3's reference C implementation (with its x86-64 assembly kernels, one thread) on
 * 1 MB calls, the way kwillbench times the library: a warm-up, batches of about 20 ms, and the
 * median of nine batches. Built by scripts/bench-native-peers.sh against the sources Debian's
 * librust-blake3-dev ships; prints the throughput in MB/s (10^6 bytes a second). */
#include "blake3.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

enum { kSize = 1 << 20, kBatches = 9 };

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static uint8_t g_sink;

static void Call(const uint8_t* data) {
    blake3_hasher h;
    uint8_t out[32];
    blake3_hasher_init(&h);
    blake3_hasher_update(&h, data, kSize);
    blake3_hasher_finalize(&h, out, sizeof(out));
    g_sink ^= out[0];
}

static int Less(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

int main(void) {
    uint8_t* data = malloc(kSize);
    if (!data) return 1;
    uint32_t seed = 99;
    for (size_t i = 0; i < kSize; ++i) {
        seed = seed * 1664525u + 1013904223u;
        data[i] = (uint8_t)(seed >> 24);
    }
    Call(data);
    long calls = 1;
    for (;;) {
        double start = Now();
        for (long i = 0; i < calls; ++i) Call(data);
        double elapsed = Now() - start;
        if (elapsed >= 0.02) break;
        long grow = elapsed > 0 ? (long)(0.02 / elapsed) + 1 : 16;
        calls *= grow < 2 ? 2 : grow > 16 ? 16 : grow;
    }
    double perCall[kBatches];
    for (int b = 0; b < kBatches; ++b) {
        double start = Now();
        for (long i = 0; i < calls; ++i) Call(data);
        perCall[b] = (Now() - start) / (double)calls;
    }
    qsort(perCall, kBatches, sizeof(perCall[0]), Less);
    printf("%.2f\n", kSize / perCall[kBatches / 2] / 1e6);
    free(data);
    return g_sink == 0x100;
}

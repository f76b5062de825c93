/* The ceiling of the zip rows: libdeflate (the whole-buffer decoder the library uses, built
 * natively from the same sources) against zlib, both native, inflating the same deflate stream
 * of the same 64 MiB of mixed data as kwillbench's zip suite, each followed by its own CRC-32 of
 * the output, as the "zip member inflate (whole, CRC checked)" row does. Best of five
 * alternating rounds. The same comparison is then made on each kind of data alone (text, binary
 * records, random runs), which shows where the mix's ratio comes from, and on the stream zlib
 * makes of the mix, as the zip suite's "zlib-made" row does. Given the path of the suite's
 * second data set (the files of the built checkout), it prints the same inflate ceilings and the
 * deflate ceiling (libdeflate against compress2) on that too. Built and run by
 * scripts/bench-native-peers.sh against the libdeflate sources in the build folder and Debian's
 * zlib1g-dev.
 *
 * MixedData() must produce the bytes of bench/zip_bench.cpp's MixedData(): the same generator
 * and the same choices in the same order. The compressed size printed beside the row lets a
 * reader check that against the zip suite's own line. */
#include <libdeflate.h>
#include <zlib.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kSize = 64 << 20, kRounds = 5 };

static uint64_t g_state = 64;

static uint64_t Next(void) {
    g_state ^= g_state << 13;
    g_state ^= g_state >> 7;
    g_state ^= g_state << 17;
    return g_state;
}

static uint32_t Below(uint32_t bound) {
    return (uint32_t)(Next() % bound);
}

typedef struct {
    uint8_t* data;
    size_t size;
} Buffer;

static void Put(Buffer* b, const void* p, size_t n) {
    memcpy(b->data + b->size, p, n);
    b->size += n;
}

/* only < 0: the mix in the proportions 6:3:1; else that kind alone (0 text, 1 records, 2 random).
 */
static uint8_t* MixedData(int only) {
    static char vocabulary[4096][12];
    static uint8_t lengths[4096];
    g_state = 64;
    for (int i = 0; i < 4096; ++i) {
        uint32_t n = 2 + Below(9);
        for (uint32_t k = 0; k < n; ++k) vocabulary[i][k] = (char)('a' + Below(26));
        lengths[i] = (uint8_t)n;
    }
    Buffer out = {malloc((size_t)kSize + 65536), 0};
    if (!out.data) return NULL;
    while (out.size < kSize) {
        uint32_t kind = Below(10);
        if (only >= 0) kind = only == 0 ? 0 : only == 1 ? 6 : 9;
        if (kind < 6) {
            for (uint32_t i = 0, words = 20 + Below(200); i < words; ++i) {
                double u = (double)(Below(1000000) + 1) / 1000001.0;
                size_t w = (size_t)(u * u * u * 4096) % 4096;
                Put(&out, vocabulary[w], lengths[w]);
                uint32_t p = Below(20);
                uint8_t c = p == 0 ? ',' : p == 1 ? '.' : ' ';
                Put(&out, &c, 1);
                if (Below(30) == 0) {
                    char number[16];
                    int n = snprintf(number, sizeof number, "%u ", Below(100000));
                    Put(&out, number, (size_t)n);
                }
            }
            Put(&out, "\n", 1);
        } else if (kind < 9) {
            for (uint32_t i = 0, records = 16 + Below(256); i < records; ++i) {
                /* The fields in the order C++ evaluates the bench's braced list: left to right. */
                uint32_t fields[4];
                fields[0] = Below(256);
                fields[1] = Below(65536);
                fields[2] = i * 16;
                fields[3] = Below(4);
                for (int f = 0; f < 4; ++f)
                    for (int b = 0; b < 4; ++b) {
                        uint8_t byte = (uint8_t)(fields[f] >> (8 * b));
                        Put(&out, &byte, 1);
                    }
            }
        } else {
            for (uint32_t i = 0, n = 256 + Below(4096); i < n; ++i) {
                uint8_t byte = (uint8_t)Next();
                Put(&out, &byte, 1);
            }
        }
    }
    return out.data;
}

/* The zip suite's second data set, the file scripts/bench-zip-files.sh writes; NULL when it is
 * missing or short. */
static uint8_t* FileData(const char* path) {
    FILE* f = fopen(path, "rb");
    uint8_t* data = f ? malloc(kSize) : NULL;
    if (data && fread(data, 1, kSize, f) != (size_t)kSize) {
        free(data);
        data = NULL;
    }
    if (f) fclose(f);
    return data;
}

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static uint32_t g_sink;

/* Keeps each side's best MB/s over the rounds, from one round's times. */
static void KeepBest(double oursSeconds, double peerSeconds, double* ours, double* peer) {
    double a = kSize / oursSeconds / 1e6, b = kSize / peerSeconds / 1e6;
    if (a > *ours) *ours = a;
    if (b > *peer) *peer = b;
}

/* Compresses the data as the library's zip writer does (libdeflate, level 6, raw deflate), or as
 * zlib does at level 6 when zlibMade, then times both decoders on that stream; *ours and *peer
 * get the best MB/s. Returns the stream's size, or 0 on failure. */
static size_t Compare(const uint8_t* data, int zlibMade, double* ours, double* peer) {
    struct libdeflate_compressor* c = libdeflate_alloc_compressor(6);
    struct libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    size_t bound = c ? libdeflate_deflate_compress_bound(c, kSize) : 0;
    uint8_t* packed = bound ? malloc(bound) : NULL;
    uint8_t* out = malloc(kSize);
    size_t packedSize = 0;
    if (d && packed && out && !zlibMade)
        packedSize = libdeflate_deflate_compress(c, data, kSize, packed, bound);
    if (d && packed && out && zlibMade) {
        z_stream z;
        memset(&z, 0, sizeof z);
        deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        z.next_in = (Bytef*)data;
        z.avail_in = kSize;
        z.next_out = packed;
        z.avail_out = (uInt)bound;
        if (deflate(&z, Z_FINISH) == Z_STREAM_END) packedSize = z.total_out;
        deflateEnd(&z);
    }
    *ours = *peer = 0;
    /* Touch the output once so that neither side pays its first page faults. */
    if (packedSize) memset(out, 0, kSize);
    for (int r = 0; packedSize && r < kRounds; ++r) {
        double t0 = Now();
        if (libdeflate_deflate_decompress(d, packed, packedSize, out, kSize, NULL) !=
            LIBDEFLATE_SUCCESS)
            packedSize = 0;
        g_sink ^= libdeflate_crc32(0, out, kSize);
        double t1 = Now();
        z_stream z;
        memset(&z, 0, sizeof z);
        inflateInit2(&z, -MAX_WBITS);
        z.next_in = packed;
        z.avail_in = (uInt)packedSize;
        z.next_out = out;
        z.avail_out = kSize;
        if (inflate(&z, Z_FINISH) != Z_STREAM_END) packedSize = 0;
        inflateEnd(&z);
        g_sink ^= (uint32_t)crc32(0, out, kSize);
        double t2 = Now();
        KeepBest(t1 - t0, t2 - t1, ours, peer);
    }
    free(out);
    free(packed);
    libdeflate_free_decompressor(d);
    libdeflate_free_compressor(c);
    return packedSize;
}

/* libdeflate at level 6 against zlib's compress2 at level 6, both native: best MB/s of three
 * alternating rounds. */
static void DeflateCeiling(const uint8_t* data, double* ours, double* peer) {
    struct libdeflate_compressor* c = libdeflate_alloc_compressor(6);
    size_t bound = compressBound(kSize);
    if (c && libdeflate_deflate_compress_bound(c, kSize) > bound)
        bound = libdeflate_deflate_compress_bound(c, kSize);
    uint8_t* packed = malloc(bound);
    *ours = *peer = 0;
    for (int r = 0; c && packed && r < 3; ++r) {
        double t0 = Now();
        g_sink ^= (uint32_t)libdeflate_deflate_compress(c, data, kSize, packed, bound);
        double t1 = Now();
        uLongf n = bound;
        compress2(packed, &n, data, kSize, 6);
        double t2 = Now();
        KeepBest(t1 - t0, t2 - t1, ours, peer);
    }
    free(packed);
    libdeflate_free_compressor(c);
}

int main(int argc, char** argv) {
    const char* kinds[] = {"text", "records", "random runs"};
    double ours, peer;
    /* -1 the mix as the library's writer makes it, -2 the mix as zlib makes it, then each kind
     * alone. */
    const int order[] = {-1, -2, 0, 1, 2};
    for (int i = 0; i < 5; ++i) {
        int only = order[i];
        uint8_t* data = MixedData(only < 0 ? -1 : only);
        size_t packed = data ? Compare(data, only == -2, &ours, &peer) : 0;
        free(data);
        if (!packed) {
            printf("deflate-peer: the native comparison failed\n");
            return 1;
        }
        if (only == -2)
            printf(
                "%-44s | %12.2f | %12.2f MB/s  | %6.2fx  (the same, on the stream zlib makes at "
                "level 6: %zu bytes)\n",
                "zip member inflate, zlib-made, native", ours, peer, ours / peer, packed);
        else if (only < 0)
            printf(
                "%-44s | %12.2f | %12.2f MB/s  | %6.2fx  (native libdeflate %s + CRC against "
                "native zlib inflate + crc32; stream %zu bytes; best of %d rounds)\n",
                "zip member inflate 64 MiB, native ceiling", ours, peer, ours / peer,
                LIBDEFLATE_VERSION_STRING, packed, kRounds);
        else
            printf("  %-42s   libdeflate %.0f MB/s, zlib %.0f MB/s: %.2fx\n", kinds[only], ours,
                   peer, ours / peer);
    }
    /* The files data set, when its path is given and it is there. */
    uint8_t* files = argc > 1 ? FileData(argv[1]) : NULL;
    if (files) {
        size_t own = Compare(files, 0, &ours, &peer);
        if (own)
            printf("%-44s | %12.2f | %12.2f MB/s  | %6.2fx  (stream %zu bytes)\n",
                   "zip member inflate 64 MiB of files, native", ours, peer, ours / peer, own);
        size_t zlibMade = Compare(files, 1, &ours, &peer);
        if (zlibMade)
            printf("%-44s | %12.2f | %12.2f MB/s  | %6.2fx  (zlib-made stream %zu bytes)\n",
                   "zip member inflate, files, zlib-made, native", ours, peer, ours / peer,
                   zlibMade);
        DeflateCeiling(files, &ours, &peer);
        printf("%-44s | %12.2f | %12.2f MB/s  | %6.2fx  (libdeflate against compress2)\n",
               "zip member deflate 64 MiB of files, native", ours, peer, ours / peer);
        free(files);
    }
    return g_sink == 0x12345678u ? 2 : 0;
}

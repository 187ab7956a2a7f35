// MD5 and Base64 beside OpenSSL in the same run.  Each repetition times a
// batch of ours and a batch of OpenSSL's back to back (the order alternating),
// so a busy neighbour slows both alike; the ratio printed is OpenSSL's time
// over ours: 1.00 is level, above it ours is faster.
//
//   crypto_bench [repetitions]      (default 15)
//
// Base64: ours writes and reads mail text (a line feed after every 76
// characters) into a buffer of its own; OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock work on one unbroken line in the caller's buffer.
#define OPENSSL_SUPPRESS_DEPRECATED  // MD5_Init & co.: the plain block interface, no EVP overhead
#include <zezarur/zezarur.h>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <random>
#include <string>
#include <time.h>
#include <vector>

namespace {


struct Input {
    std::vector<unsigned char> data;
    std::string text;      // ours: with line feeds
    std::string unbroken;  // OpenSSL's: one line
    std::vector<unsigned char> out;
};

Input makeInput(size_t n) {
    Input in;
    std::mt19937 random(1);
    in.data.resize(n);
    for (auto &c : in.data) c = static_cast<unsigned char>(random());
    int length = static_cast<int>(n);
    base64_encode(reinterpret_cast<const char *>(in.data.data()), &length);
    char *text = base64_detach(nullptr);
    in.text = text;
    std::free(text);
    in.unbroken = in.text;
    std::erase(in.unbroken, '\n');
    in.out.resize(in.text.size() + 4);
    return in;
}

void md5Ours(Input &in) {
    MD5Context context;
    MD5Init(&context);
    MD5Update(&context, in.data.data(), static_cast<uint32_t>(in.data.size()));
    MD5Final(in.out.data(), &context);
}

void md5OpenSsl(Input &in) {
    MD5_CTX context;
    MD5_Init(&context);
    MD5_Update(&context, in.data.data(), in.data.size());
    MD5_Final(in.out.data(), &context);
}

void encodeOurs(Input &in) {
    int length = static_cast<int>(in.data.size());
    benchmark::DoNotOptimize(base64_encode(reinterpret_cast<const char *>(in.data.data()), &length));
}

void encodeOpenSsl(Input &in) {
    EVP_EncodeBlock(in.out.data(), in.data.data(), static_cast<int>(in.data.size()));
}

void decodeOurs(Input &in) {
    int length = static_cast<int>(in.text.size());
    benchmark::DoNotOptimize(base64_decode(in.text.c_str(), &length));
}

void decodeOpenSsl(Input &in) {
    EVP_DecodeBlock(in.out.data(), reinterpret_cast<const unsigned char *>(in.unbroken.data()),
                    static_cast<int>(in.unbroken.size()));
}

struct Case {
    const char *name;
    size_t size;
    void (*ours)(Input &);
    void (*peer)(Input &);
};

constexpr Case cases[] = {
    {"md5", 64, md5Ours, md5OpenSsl},
    {"md5", 1 << 10, md5Ours, md5OpenSsl},
    {"md5", 64 << 10, md5Ours, md5OpenSsl},
    {"md5", 1 << 20, md5Ours, md5OpenSsl},
    {"base64 encode", 1 << 10, encodeOurs, encodeOpenSsl},
    {"base64 encode", 1 << 20, encodeOurs, encodeOpenSsl},
    {"base64 decode", 1 << 10, decodeOurs, decodeOpenSsl},
    {"base64 decode", 1 << 20, decodeOurs, decodeOpenSsl},
};

// The thread's processor time: the time others take from it does not count.
double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double seconds(void (*run)(Input &), Input &in, long iterations) {
    double start = cpuSeconds();
    for (long i = 0; i < iterations; ++i) {
        run(in);
        benchmark::ClobberMemory();
    }
    return cpuSeconds() - start;
}

// Enough iterations for a batch of about 10 ms.
long batchSize(const Case &c, Input &in) {
    long iterations = 1;
    while (seconds(c.ours, in, iterations) < 0.01) iterations *= 2;
    return iterations;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    std::printf("%-14s %8s %11s %11s %7s %13s\n", "", "bytes", "ours MB/s", "OpenSSL MB/s",
                "ratio", "min-max");
    for (const Case &c : cases) {
        Input in = makeInput(c.size);
        long iterations = batchSize(c, in);
        std::vector<double> ours, peer, ratio;
        for (int r = 0; r < repetitions; ++r) {
            double o, p;
            if (r % 2) {
                p = seconds(c.peer, in, iterations);
                o = seconds(c.ours, in, iterations);
            } else {
                o = seconds(c.ours, in, iterations);
                p = seconds(c.peer, in, iterations);
            }
            ours.push_back(o);
            peer.push_back(p);
            ratio.push_back(p / o);
        }
        double megabytes = double(c.size) * double(iterations) / 1e6;
        auto [low, high] = std::minmax_element(ratio.begin(), ratio.end());
        std::printf("%-14s %8zu %11.0f %11.0f %6.2fx %6.2f-%.2f\n", c.name, c.size,
                    megabytes / median(ours), megabytes / median(peer), median(ratio), *low,
                    *high);
    }
    return 0;
}

// MD5 beside OpenSSL's in the same run, and Base64 throughput.
#define OPENSSL_SUPPRESS_DEPRECATED  // MD5_Init & co.: the plain block interface, no EVP overhead
#include <zezarur/zezarur.h>

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <openssl/md5.h>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> randomBytes(size_t n) {
    std::mt19937 random(1);
    std::vector<unsigned char> b(n);
    for (auto &c : b) c = static_cast<unsigned char>(random());
    return b;
}

void ours(const std::vector<unsigned char> &data, unsigned char digest[16]) {
    MD5Context context;
    MD5Init(&context);
    MD5Update(&context, data.data(), static_cast<uint32_t>(data.size()));
    MD5Final(digest, &context);
}

void openssl(const std::vector<unsigned char> &data, unsigned char digest[16]) {
    MD5_CTX context;
    MD5_Init(&context);
    MD5_Update(&context, data.data(), data.size());
    MD5_Final(digest, &context);
}

template <auto hash>
void md5(benchmark::State &state) {
    auto data = randomBytes(static_cast<size_t>(state.range(0)));
    unsigned char digest[16];
    for (auto _ : state) {
        hash(data, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void base64Encode(benchmark::State &state) {
    auto data = randomBytes(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        int length = static_cast<int>(data.size());
        benchmark::DoNotOptimize(base64_encode(reinterpret_cast<const char *>(data.data()), &length));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void base64Decode(benchmark::State &state) {
    auto data = randomBytes(static_cast<size_t>(state.range(0)));
    int length = static_cast<int>(data.size());
    base64_encode(reinterpret_cast<const char *>(data.data()), &length);
    char *encoded = base64_detach(nullptr);
    std::string text(encoded);
    free(encoded);
    for (auto _ : state) {
        length = static_cast<int>(text.size());
        benchmark::DoNotOptimize(base64_decode(text.c_str(), &length));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));  // decoded bytes
}

void md5Sizes(benchmark::internal::Benchmark *b) {
    for (int n : {64, 1 << 10, 64 << 10, 1 << 20}) b->Arg(n);
}

void base64Sizes(benchmark::internal::Benchmark *b) {
    for (int n : {1 << 10, 64 << 10, 1 << 20}) b->Arg(n);
}

BENCHMARK(md5<ours>)->Apply(md5Sizes);
BENCHMARK(md5<openssl>)->Apply(md5Sizes);
BENCHMARK(base64Encode)->Apply(base64Sizes);
BENCHMARK(base64Decode)->Apply(base64Sizes);

}  // namespace

BENCHMARK_MAIN();

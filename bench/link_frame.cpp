// Frame codec throughput: encoding requests and receiving replies byte by byte.
#include "protocol/frame.h"

#include <benchmark/benchmark.h>

using koravel::Bytes;

namespace {

Bytes BlockRequest() {
    // The largest request the program sends: a 108-byte set-up block.
    Bytes content{0x8D, 0x04, 0x00, 0x00};
    for (int i = 0; i < 108; ++i)
        content.push_back(static_cast<std::uint8_t>(i * 37));
    return content;
}

void BM_EncodeBlockRequest(benchmark::State& state) {
    const Bytes content = BlockRequest();
    for (auto _ : state) {
        Bytes wire = frame::Encode(content);
        benchmark::DoNotOptimize(wire.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content.size()));
}
BENCHMARK(BM_EncodeBlockRequest);

void BM_ReceiveStatusReplies(benchmark::State& state) {
    const Bytes content{0x0D, 0x00, 0x0D, 0x01, 0x00, 0x78, 0x37, 0x00, 0x00, 0x02, 0x00, 0x00};
    Bytes stream;
    for (int i = 0; i < 64; ++i) {
        Bytes wire = frame::Encode(content);
        stream.insert(stream.end(), wire.begin(), wire.end());
    }
    frame::Receiver rx;
    for (auto _ : state) {
        int frames = 0;
        for (std::uint8_t b : stream)
            frames += rx.Push(b) == frame::Feed::Frame ? 1 : 0;
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ReceiveStatusReplies);

} // namespace

#include "platform/marker_engine/Luminance.h"

#include <cstdlib>
#include <vector>

#include <opencv2/core/hal/intrin.hpp>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace Orvana::MarkerEngine::Luminance
{

namespace
{

// Thresholds `count` grey levels `stride` bytes apart; thresholds[i] applies to pixels
// [i * kBlock, (i + 1) * kBlock).
void binarizeScalar(const uint8_t* src, int stride, int from, int count, const uint8_t* thresholds,
                    bool perBlock, uint8_t* dst)
{
    for (int x = from; x < count; ++x)
        dst[x] = src[std::ptrdiff_t{stride} * x] <= thresholds[perBlock ? x / kBlock : 0] ? 255 : 0;
}

#if defined(__x86_64__) || defined(__i386__)
// The green bytes of 16 BGR pixels gathered with byte shuffles: the whole row in one pass, about
// as fast as reading a grey row.
__attribute__((target("ssse3"))) int
binarizeGreenSsse3(const uint8_t* bgr, int count, const uint8_t* thresholds, bool perBlock, uint8_t* dst)
{
    const __m128i fromA = _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i fromB = _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
    const __m128i fromC = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
    int x = 0;
    for (; x + kBlock <= count; x += kBlock) {
        const uint8_t* p = bgr + 3 * std::ptrdiff_t{x};
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        const __m128i green = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(a, fromA), _mm_shuffle_epi8(b, fromB)), _mm_shuffle_epi8(c, fromC));
        const __m128i t = _mm_set1_epi8(static_cast<char>(thresholds[perBlock ? x / kBlock : 0]));
        // green <= t is max(green, t) == t.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_cmpeq_epi8(_mm_max_epu8(green, t), t));
    }
    return x;
}

// The same for 32 pixels at a time: each 128-bit lane gathers the green bytes of 16 pixels as above.
__attribute__((target("avx2"))) int binarizeGreenAvx2(const uint8_t* bgr, int count,
                                                      const uint8_t* thresholds, bool perBlock, uint8_t* dst)
{
    const __m128i a = _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i b = _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
    const __m128i c = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
    const __m256i fromA = _mm256_broadcastsi128_si256(a);
    const __m256i fromB = _mm256_broadcastsi128_si256(b);
    const __m256i fromC = _mm256_broadcastsi128_si256(c);
    __m256i t = _mm256_set1_epi8(static_cast<char>(thresholds[0]));
    int x = 0;
    for (; x + 2 * kBlock <= count; x += 2 * kBlock) {
        const uint8_t* p = bgr + 3 * std::ptrdiff_t{x};
        const __m256i first = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), 1);
        const __m256i second = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 64)), 1);
        const __m256i third = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 80)), 1);
        const __m256i green = _mm256_or_si256(
            _mm256_or_si256(_mm256_shuffle_epi8(first, fromA), _mm256_shuffle_epi8(second, fromB)),
            _mm256_shuffle_epi8(third, fromC));
        if (perBlock)
            t = _mm256_inserti128_si256(_mm256_set1_epi8(static_cast<char>(thresholds[x / kBlock])),
                                        _mm_set1_epi8(static_cast<char>(thresholds[x / kBlock + 1])), 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x),
                            _mm256_cmpeq_epi8(_mm256_max_epu8(green, t), t));
    }
    return x;
}

bool hasSsse3()
{
    static const bool supported = __builtin_cpu_supports("ssse3");
    return supported;
}

bool hasAvx2()
{
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}
#endif

// One output row at full resolution.
void binarizeRow(const uint8_t* src, int channels, int width, const uint8_t* thresholds, bool perBlock,
                 uint8_t* dst)
{
    int x = 0;
    if (channels == 1) {
#if CV_SIMD128
        using namespace cv;
        for (; x + kBlock <= width; x += kBlock) {
            const v_uint8x16 t = v_setall_u8(thresholds[perBlock ? x / kBlock : 0]);
            const v_uint8x16 v = v_load(src + x);
            // v <= t is max(v, t) == t.
            v_store(dst + x, v_max(v, t) == t);
        }
#endif
        binarizeScalar(src, 1, x, width, thresholds, perBlock, dst);
        return;
    }
#if defined(__x86_64__) || defined(__i386__)
    if (hasAvx2())
        x = binarizeGreenAvx2(src, width, thresholds, perBlock, dst);
    if (hasSsse3())
        x += binarizeGreenSsse3(src + 3 * std::ptrdiff_t{x}, width - x,
                                thresholds + (perBlock ? x / kBlock : 0), perBlock, dst + x);
#endif
    binarizeScalar(src + 1, 3, x, width, thresholds, perBlock, dst);
}

} // namespace

void binarize(const cv::Mat& frame, bool half, int threshold, const cv::Mat* blockThresholds, cv::Mat& binary)
{
    const int width = half ? frame.cols / 2 : frame.cols;
    const int height = half ? frame.rows / 2 : frame.rows;
    binary.create(height, width, CV_8UC1);
    const bool perBlock = blockThresholds != nullptr;
    const uint8_t single = static_cast<uint8_t>(std::clamp(threshold, 0, 255));
    const int channels = frame.channels();
    if (!half) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* thresholds = perBlock ? blockThresholds->ptr<uint8_t>(y / kBlock) : &single;
            binarizeRow(frame.ptr<uint8_t>(y), channels, width, thresholds, perBlock, binary.ptr<uint8_t>(y));
        }
        return;
    }
    // The sum of each 2x2 pixels, compared with four times the threshold.
    std::vector<int> sums(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        const uint8_t* r0 = pixel(frame, 0, 2 * y);
        const uint8_t* r1 = pixel(frame, 0, 2 * y + 1);
        for (int x = 0; x < width; ++x) {
            const int a = 2 * x * channels, b = a + channels;
            sums[x] = r0[a] + r0[b] + r1[a] + r1[b];
        }
        const uint8_t* thresholds = perBlock ? blockThresholds->ptr<uint8_t>(y / kBlock) : &single;
        uint8_t* out = binary.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x)
            out[x] = sums[x] < 4 * thresholds[perBlock ? x / kBlock : 0] + 2 ? 255 : 0;
    }
}

void histogram(const cv::Mat& frame, int step, std::array<int, 256>& counts)
{
    counts.fill(0);
    const int next = step * frame.channels();
    for (int y = step / 2; y < frame.rows; y += step) {
        const uint8_t* p = pixel(frame, step / 2, y);
        for (int x = step / 2; x < frame.cols; x += step, p += next)
            ++counts[*p];
    }
}

void edgeHistogram(const cv::Mat& frame, int step, int minStep, std::array<int, 256>& counts)
{
    counts.fill(0);
    constexpr int reach = 2;
    // The two levels across each sample's steeper direction, and how far apart they are.
    struct Pair {
        uint8_t low, high, difference;
    };
    thread_local std::vector<Pair> pairs;
    pairs.clear();
    std::array<int, 256> differences{};
    const int channels = frame.channels();
    const int next = step * channels, across = reach * channels;
    for (int y = reach; y < frame.rows - reach; y += step) {
        const uint8_t* p = pixel(frame, reach, y);
        const uint8_t* above = pixel(frame, reach, y - reach);
        const uint8_t* below = pixel(frame, reach, y + reach);
        for (int x = reach; x < frame.cols - reach; x += step, p += next, above += next, below += next) {
            const int left = p[-across], right = p[across], up = *above, down = *below;
            const int dx = std::abs(right - left), dy = std::abs(down - up);
            const int a = dx >= dy ? left : up, b = dx >= dy ? right : down;
            const int difference = std::max(dx, dy);
            pairs.push_back({static_cast<uint8_t>(std::min(a, b)), static_cast<uint8_t>(std::max(a, b)),
                             static_cast<uint8_t>(difference)});
            ++differences[difference];
        }
    }
    // Most samples lie in flat areas, where the differences are noise: an edge must stand well
    // above their median.
    const int limit = std::max(minStep, 4 * std::max(median(differences), 0));
    for (const Pair& pair : pairs) {
        if (pair.difference < limit)
            continue;
        ++counts[pair.low];
        ++counts[pair.high];
    }
}

int median(const std::array<int, 256>& counts)
{
    long total = 0;
    for (int c : counts)
        total += c;
    if (total == 0)
        return -1;
    long seen = 0;
    for (int level = 0; level < 256; ++level) {
        seen += counts[level];
        if (2 * seen >= total)
            return level;
    }
    return 255;
}

int otsu(const std::array<int, 256>& counts)
{
    double total = 0.0, sum = 0.0;
    for (int level = 0; level < 256; ++level) {
        total += counts[level];
        sum += static_cast<double>(level) * counts[level];
    }
    if (total == 0.0)
        return -1;
    double lowCount = 0.0, lowSum = 0.0, best = -1.0;
    int bestLevel = 0;
    for (int level = 0; level < 255; ++level) {
        lowCount += counts[level];
        lowSum += static_cast<double>(level) * counts[level];
        const double highCount = total - lowCount;
        if (lowCount == 0.0 || highCount == 0.0)
            continue;
        const double difference = lowSum / lowCount - (sum - lowSum) / highCount;
        const double between = lowCount * highCount * difference * difference;
        if (between > best) {
            best = between;
            bestLevel = level;
        }
    }
    return bestLevel;
}

void blockMeans(const cv::Mat& frame, bool half, cv::Mat& means)
{
    const int scale = half ? 2 : 1;
    const int block = kBlock * scale;
    const int columns = (frame.cols / scale + kBlock - 1) / kBlock;
    const int rows = (frame.rows / scale + kBlock - 1) / kBlock;
    means.create(rows, columns, CV_8UC1);
    std::vector<int> sums(static_cast<std::size_t>(columns)), counts(static_cast<std::size_t>(columns));
    for (int by = 0; by < rows; ++by) {
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(counts.begin(), counts.end(), 0);
        // Rows and columns past the last whole block of the processed image join the last block.
        const int yEnd = by == rows - 1 ? frame.rows : (by + 1) * block;
        for (int y = by * block; y < yEnd; y += 2) {
            const uint8_t* p = pixel(frame, 0, y);
            const int next = 2 * frame.channels();
            for (int x = 0; x < frame.cols; x += 2, p += next) {
                const int bx = std::min(x / block, columns - 1);
                sums[bx] += *p;
                ++counts[bx];
            }
        }
        uint8_t* out = means.ptr<uint8_t>(by);
        for (int bx = 0; bx < columns; ++bx)
            out[bx] = static_cast<uint8_t>(counts[bx] > 0 ? (sums[bx] + counts[bx] / 2) / counts[bx] : 0);
    }
}

} // namespace Orvana::MarkerEngine::Luminance

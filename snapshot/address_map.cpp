#include "address_map.h"

#include <algorithm>

AddressMap::AddressMap() : cacheMegabyte_(kCacheSize, UINT64_MAX), cacheBlock_(kCacheSize, 0) {}

uint32_t AddressMap::blockFor(uint64_t address)
{
    const uint64_t megabyte = address >> kBlockShift;
    const size_t c = static_cast<size_t>(megabyte & (kCacheSize - 1));
    if (cacheMegabyte_[c] == megabyte)
        return cacheBlock_[c];
    uint32_t block = blockOfMegabyte_.find(megabyte);
    if (block == IdHashMap::kMissing) {
        const uint64_t allowed = std::max<uint64_t>(kFreeBlocks, uint64_t{kBlocksPerObjectBlock} * blocksWithObjects_);
        if (blocks_.size() >= std::min<uint64_t>(allowed, kMaxBlocks)) {
            tooManyBlocks_ = true;
            return kInvalidBlock;
        }
        if (blocks_.size() == kNarrowBlocks - 1)
            blocks_.emplace_back();  // holds kInvalid; no megabyte maps to it
        block = static_cast<uint32_t>(blocks_.size());
        blocks_.emplace_back();
        blocks_.back().base = megabyte << kBlockShift;
        blockOfMegabyte_.insert(megabyte, block);
    }
    cacheMegabyte_[c] = megabyte;
    cacheBlock_[c] = block;
    return block;
}

AddressMap::Define AddressMap::defineSlow(uint64_t address, uint32_t number)
{
    if (address & ((1u << kWordShift) - 1))
        return Define::Unaligned;
    const uint32_t b = blockFor(address);
    if (b == kInvalidBlock)
        return Define::TooManyBlocks;
    Block& block = blocks_[b];
    if (block.bits.empty()) {
        block.bits.assign(kBitWords, 0);
        ++blocksWithObjects_;
    }
    const uint32_t word = static_cast<uint32_t>((address >> kWordShift) & ((1u << kWordBits) - 1));
    uint64_t& bits = block.bits[word >> 6];
    const uint64_t bit = uint64_t{1} << (word & 63);
    if (bits & bit)
        return Define::Duplicate;

    if (block.count == 0) {
        block.firstNumber = block.lastNumber = number;
        block.lastWord = word;
    } else if (!block.explicitNumbers && number == block.lastNumber + 1 && word > block.lastWord) {
        block.lastNumber = number;
        block.lastWord = word;
    } else {
        if (!block.explicitNumbers) {
            // A second run: the first one's objects are the bits set so far, in order.
            block.explicitNumbers = true;
            ++explicitBlocks_;
            block.pending.reserve(block.count + 1);
            uint32_t k = 0;
            for (uint32_t bw = 0; bw < kBitWords; ++bw) {
                for (uint64_t x = block.bits[bw]; x != 0; x &= x - 1)
                    block.pending.emplace_back(bw * 64 + static_cast<uint32_t>(__builtin_ctzll(x)), block.firstNumber + k++);
            }
        }
        block.pending.emplace_back(word, number);
    }
    bits |= bit;
    ++block.count;
    addressBits_ |= address;
    lastMegabyte_ = address >> kBlockShift;
    lastBlock_ = b;
    return Define::Added;
}

void AddressMap::finish()
{
    blocksByAddress_.clear();
    runStarts_.clear();
    explicitAddresses_.clear();
    explicitWide_.clear();
    compactOfNumber_.clear();
    // Objects out of address order need their addresses by number: a sorted list of the
    // few where most blocks hold one run, or, where most are out of order (a dump that
    // walked the object graph), every object's compact address by number, half the size.
    uint64_t objects = 0, outOfOrder = 0;
    uint32_t numbers = 0;
    for (const Block& block : blocks_) {
        objects += block.count;
        if (block.explicitNumbers) {
            outOfOrder += block.count;
            for (const auto& [word, number] : block.pending)
                numbers = std::max(numbers, number + 1);
        } else if (block.count > 0) {
            numbers = std::max(numbers, block.lastNumber + 1);
        }
    }
    const bool byNumber = outOfOrder * 2 > objects && blocks_.size() < kNarrowBlocks;
    if (byNumber)
        compactOfNumber_.assign(numbers, static_cast<uint32_t>(kInvalid));
    else
        explicitAddresses_.reserve(outOfOrder);
    for (uint32_t b = 0; b < blocks_.size(); ++b) {
        Block& block = blocks_[b];
        if (block.bits.empty())
            continue;
        blocksByAddress_.push_back(b);
        block.wordRank.assign(kBitWords, 0);
        uint32_t inHalf = 0;
        for (uint32_t bw = 0; bw < kBitWords; ++bw) {
            if (bw == kBitWords / 2) {
                block.halfRank = inHalf;
                inHalf = 0;
            }
            block.wordRank[bw] = static_cast<uint16_t>(inHalf);
            inHalf += static_cast<uint32_t>(__builtin_popcountll(block.bits[bw]));
        }
        if (block.explicitNumbers) {
            std::sort(block.pending.begin(), block.pending.end());
            block.numbers.reserve(block.pending.size());
            for (const auto& [word, number] : block.pending) {
                block.numbers.push_back(number);
                const uint64_t compact = (uint64_t{b} << kWordBits) | word;
                if (byNumber)
                    compactOfNumber_[number] = static_cast<uint32_t>(compact);
                else if (compact <= UINT32_MAX)
                    explicitAddresses_.emplace_back(number, static_cast<uint32_t>(compact));
                else
                    explicitWide_.emplace_back(number, compact);
            }
            std::vector<std::pair<uint32_t, uint32_t>>().swap(block.pending);
        } else {
            runStarts_.emplace_back(block.firstNumber, b);
            if (byNumber) {
                uint32_t number = block.firstNumber;
                for (uint32_t bw = 0; bw < kBitWords; ++bw) {
                    for (uint64_t x = block.bits[bw]; x != 0; x &= x - 1)
                        compactOfNumber_[number++] = (b << kWordBits) | (bw * 64 + static_cast<uint32_t>(__builtin_ctzll(x)));
                }
            }
        }
    }
    views_.assign(blocks_.size(), BlockView{});
    for (uint32_t b = 0; b < blocks_.size(); ++b) {
        const Block& block = blocks_[b];
        if (block.bits.empty())
            continue;
        views_[b] = {block.bits.data(), block.wordRank.data(), block.explicitNumbers ? block.numbers.data() : nullptr,
                     block.halfRank, block.firstNumber};
    }
    std::sort(blocksByAddress_.begin(), blocksByAddress_.end(),
              [&](uint32_t a, uint32_t b) { return blocks_[a].base < blocks_[b].base; });
    std::sort(runStarts_.begin(), runStarts_.end());
    std::sort(explicitAddresses_.begin(), explicitAddresses_.end());
    std::sort(explicitWide_.begin(), explicitWide_.end());
    std::vector<uint64_t>().swap(cacheMegabyte_);
    std::vector<uint32_t>().swap(cacheBlock_);
}

uint32_t AddressMap::findBlock(uint64_t address) const
{
    const uint64_t megabyte = address >> kBlockShift;
    const uint32_t b = blockOfMegabyte_.find(megabyte);
    return b == IdHashMap::kMissing ? kInvalidBlock : b;
}

uint32_t AddressMap::numberAt(uint64_t address) const
{
    if (address & ((1u << kWordShift) - 1))
        return UINT32_MAX;
    const uint32_t b = findBlock(address);
    if (b == kInvalidBlock)
        return UINT32_MAX;
    return numberIn(views_[b], static_cast<uint32_t>((address >> kWordShift) & ((1u << kWordBits) - 1)));
}

uint32_t AddressMap::select(const Block& block, uint32_t r) const
{
    // The last 64-bit word whose count of earlier bits is <= r.
    uint32_t lo = 0, hi = kBitWords;
    while (hi - lo > 1) {
        const uint32_t mid = (lo + hi) / 2;
        const uint32_t before = (mid >= kBitWords / 2 ? block.halfRank : 0) + block.wordRank[mid];
        if (before <= r)
            lo = mid;
        else
            hi = mid;
    }
    uint32_t left = r - ((lo >= kBitWords / 2 ? block.halfRank : 0) + block.wordRank[lo]);
    uint64_t x = block.bits[lo];
    while (left-- > 0)
        x &= x - 1;
    return lo * 64 + static_cast<uint32_t>(__builtin_ctzll(x));
}

uint64_t AddressMap::addressOf(uint32_t number) const
{
    auto at = [&](uint64_t compact) {
        const Block& block = blocks_[compact >> kWordBits];
        return block.base + ((compact & ((1u << kWordBits) - 1)) << kWordShift);
    };
    if (!compactOfNumber_.empty())
        return number < compactOfNumber_.size() && compactOfNumber_[number] != kInvalid ? at(compactOfNumber_[number]) : 0;
    auto e = std::lower_bound(explicitAddresses_.begin(), explicitAddresses_.end(), std::make_pair(number, 0u));
    if (e != explicitAddresses_.end() && e->first == number)
        return at(e->second);
    auto w = std::lower_bound(explicitWide_.begin(), explicitWide_.end(), std::make_pair(number, uint64_t{0}));
    if (w != explicitWide_.end() && w->first == number)
        return at(w->second);
    auto run = std::upper_bound(runStarts_.begin(), runStarts_.end(), std::make_pair(number, UINT32_MAX));
    if (run == runStarts_.begin())
        return 0;
    --run;
    const Block& block = blocks_[run->second];
    const uint32_t r = number - run->first;
    if (r >= block.count)
        return 0;
    return block.base + (uint64_t{select(block, r)} << kWordShift);
}

size_t AddressMap::memoryBytes() const
{
    size_t bytes = blocks_.capacity() * sizeof(Block) + blockOfMegabyte_.memoryBytes();
    for (const Block& block : blocks_) {
        bytes += block.bits.capacity() * sizeof(uint64_t) + block.wordRank.capacity() * sizeof(uint16_t) +
                 block.pending.capacity() * sizeof(block.pending[0]) + block.numbers.capacity() * sizeof(uint32_t);
    }
    bytes += views_.capacity() * sizeof(BlockView) + runStarts_.capacity() * 8 + explicitAddresses_.capacity() * 8 +
             explicitWide_.capacity() * 16 + compactOfNumber_.capacity() * 4 + blocksByAddress_.capacity() * 4;
    return bytes;
}

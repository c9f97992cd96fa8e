#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "recovery/galois.h"
#include "shell/status.h"

// One pass of Reed-Solomon work: every output block is a sum of every input block times a
// constant. Encoding (recovery blocks from the files) and rebuilding (lost blocks from the
// rest and the recovery blocks) are both this.
namespace brindle::recovery {

struct Coding {
    std::int64_t blockSize = 0;
    std::size_t inputs = 0;
    std::size_t outputs = 0;
    // coefficients[output * inputs + input]
    std::vector<Gf> coefficients;
    // Fills `buffer` with `n` bytes of input `input` from `offset` within its block, zeros
    // past the input's end.
    std::function<Status(std::size_t input, std::int64_t offset, unsigned char* buffer, std::size_t n)> read;
    // Extra work on an input's bytes, run beside the arithmetic: `lanes` separate jobs each
    // given the lane number (hashing). Empty when none.
    int lanes = 0;
    // With `inOrder`, one lane more (number `lanes`) sees the inputs one after another, in
    // order: for hashes that run across inputs.
    bool inOrder = false;
    std::function<void(int lane, std::size_t input, std::int64_t offset, const unsigned char* data, std::size_t n)> look;
    // Called once a stretch of every output is complete: outputs[k] holds `n` bytes of
    // output k from `offset` within its block.
    std::function<Status(std::int64_t offset, const std::vector<unsigned char*>& outputs, std::size_t n)> done;
    // Told the input bytes handled so far; false stops the work (Cancelled).
    std::function<bool(std::int64_t bytes)> tick;
};

// The bytes of output held at once, whatever the block size: the stretch of each block done
// per pass shrinks so that all outputs' stretches fit.
inline constexpr std::int64_t kOutputMemory = std::int64_t{256} << 20;

// How many passes over the inputs a coding takes.
int Passes(std::int64_t blockSize, std::size_t outputs);

// Runs the coding on every processor: the arithmetic of a batch of inputs is cut in
// stretches, a few per worker, beside the inputs' hashes, while the next batch is read. The
// memory held is the outputs' stretches (kOutputMemory) and two batches of inputs (at most
// 64 MiB each): 384 MiB at most.
Status RunCoding(const Coding& coding);

}  // namespace brindle::recovery

// One assembly through the library interface, and the sinks that keep the
// image and the listing in memory.
#include <cstring>
#include <memory>

#include "driver/assembler.h"
#include "driver/assembly.h"

namespace vexa {

// Defined here, so that their virtual tables are made once.
SourceFiles::~SourceFiles() = default;
Sink::~Sink() = default;
Progress::~Progress() = default;

void Sink::copy_long(uint8_t* to, const uint8_t* from, size_t count) { std::memcpy(to, from, count); }

bool MemorySink::write(const uint8_t* data, size_t count) {
    if (pending_gap_) {
        bytes.append(size_t(pending_gap_), '\0');
        pending_gap_ = 0;
    }
    bytes.append(reinterpret_cast<const char*>(data), count);
    return true;
}

// A gap is held until bytes follow it: one at the very end is not written.
bool MemorySink::skip(uint64_t count) {
    pending_gap_ += count;
    return true;
}

bool MemorySink::close() {
    pending_gap_ = 0;
    return true;
}

void MemorySink::restart() {
    bytes.clear();
    pending_gap_ = 0;
}

AssemblyResult assemble(const AssemblyOptions& options, SourceFiles& files, Sink& object, Sink* listing,
                        Progress* progress) {
    AssemblyResult result;
    auto main = std::make_unique<SourceText>();
    result.load_result = files.load(options.source, *main);
    if (result.load_result != LOAD_OK) return result;
    // The assembly's state is large (the listing's buffer): it lives on the heap.
    auto assembly = std::make_unique<Assembly>(options, files, object, listing, result, progress);
    assembly->texts.push_back(Assembly::LoadedText{options.source, std::move(main)});
    run_passes(*assembly);
    result.stopped = assembly->stopped;
    return result;
}

AssemblyResult assemble_to_memory(const AssemblyOptions& options, SourceFiles& files, Progress* progress) {
    MemorySink object, listing;
    AssemblyResult result = assemble(options, files, object, options.listing ? &listing : nullptr, progress);
    result.image = std::move(object.bytes);
    result.listing = std::move(listing.bytes);
    return result;
}

}  // namespace vexa

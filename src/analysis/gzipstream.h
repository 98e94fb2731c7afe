// Inflating a gzip file piece by piece: Intel ISA-L where the build found it (several times zlib's
// speed), zlib otherwise.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>

namespace analysis {

class GzipStream {
public:
    enum class Library { Fastest, Zlib };
    // compressed: the whole file, from its first gzip member on; it must outlive the stream. Zlib:
    // zlib even where a faster library was found (tests hold the two to the same results).
    explicit GzipStream(std::string_view compressed, Library library = Library::Fastest);
    ~GzipStream();
    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;

    enum class State { More, End, Damaged };
    // Inflates up to room bytes (room > 0) to `to` and adds how many to made. More: the room is full
    // and more text follows. End: the text is complete; members that follow one another are one
    // text, as gzip reads them, and what follows the last member that is no gzip header is ignored.
    // Damaged: the data is corrupt, or ends before its last member does.
    State read(char* to, std::size_t room, std::size_t& made);
    // Bytes of the compressed data read so far.
    std::size_t consumed() const { return inDone_; }

    struct Inflater;

private:
    std::string_view in_;
    std::size_t inDone_ = 0;
    bool ended_ = false;
    std::unique_ptr<Inflater> inflater_;
};

}  // namespace analysis

// munyaro-cli decode: the decoder window's run over the lines of standard input.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "cli/argparser.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "decoder/urlconv.h"

namespace cli {

namespace {

// Hands out the lines of a stream, cut at CR LF, lone CR and lone LF; a break at the very end adds no
// empty line. Zero bytes are kept: they are data to the decoder, not an end of text.
class LineReader {
public:
    explicit LineReader(std::FILE* in) : in_(in) {}

    bool next(std::string& line) {
        line.clear();
        for (;;) {
            if (pos_ == size_ && !fill()) return !line.empty();
            const char c = buffer_[pos_++];
            if (afterCr_) {
                afterCr_ = false;
                if (c == '\n') continue;  // the LF of a CR LF pair
            }
            if (c == '\r' || c == '\n') {
                afterCr_ = c == '\r';
                return true;
            }
            line += c;
        }
    }

    bool failed() const { return std::ferror(in_) != 0; }

private:
    bool fill() {
        size_ = std::fread(buffer_, 1, sizeof buffer_, in_);
        pos_ = 0;
        return size_ > 0;
    }

    std::FILE* in_;
    char buffer_[1 << 16];
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    bool afterCr_ = false;
};

void writeLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

int fail(const std::string& cp932Message) {
    printError(cp932Message);
    return 1;
}

}  // namespace

const char* decodeUsage() {
    return "  munyaro-cli decode < LINES\n"
           "\n"
           "    Decodes percent-encoded UTF-8 text line by line as the window \"UTF-8デコーダ\" does:\n"
           "    reads lines (CR LF, CR or LF) from stdin and writes each decoded line and LF to stdout\n"
           "    as Shift-JIS (code page 932) bytes. Malformed UTF-8 gives an empty line; a character\n"
           "    without a Shift-JIS form becomes \"?\". A \"%\" followed by a character that is not a\n"
           "    hex digit stops the run: that line and all later ones are written unchanged.\n"
           "    Exit status: 0 decoded, 1 a line could not be decoded or a read or write failed\n"
           "    (text on stderr), 2 wrong usage.\n";
}

int runDecode(int argc, char** argv) {
    // Standard input is all it reads: every argument but --help is one too many.
    const auto unexpected = [](const std::string& arg) { return "unexpected argument '" + arg + "'"; };
    if (const auto exit =
            ArgParser("decode", decodeUsage()).help().operands(unexpected).unknown(unexpected).parse(argc, argv))
        return *exit;

    StdoutGuard output;
    LineReader reader(stdin);
    std::string line;
    std::string error;
    try {
        while (reader.next(line)) {
            if (!error.empty()) {
                writeLine(line);
                continue;
            }
            try {
                writeLine(decoder::URLDecode(line));
            } catch (const decoder::EConvertError& e) {
                // Like the window: the failing line and the ones after it stay as they were.
                error = e.what();
                writeLine(line);
            }
        }
    } catch (const std::bad_alloc&) {
        // A line longer than the memory left: nothing of the run stays in a file.
        output.rollback();
        return fail(common::msg::outOfMemory());
    }
    const bool readFailed = reader.failed();
    if (!StdoutGuard::flush()) {
        output.rollback();
        return fail(common::msg::writeError());
    }
    if (readFailed) return fail("munyaro-cli decode: cannot read standard input");
    if (!error.empty()) return fail(error);
    return 0;
}

}  // namespace cli

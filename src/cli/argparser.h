// The command line of a munyaro-cli command: a table of its options, read in order into the command's
// own options struct before the command runs.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Every handler returns the usage error its argument makes, or "" when the argument is fine.
class ArgParser {
public:
    using Apply = std::function<std::string()>;
    using ApplyValue = std::function<std::string(const std::string& value)>;

    // command: the name in "munyaro-cli COMMAND: …"; usage: the command's usage text.
    ArgParser(const char* command, const char* usage);

    // --help and -h print the usage on standard output and end the command with 0.
    ArgParser& help();
    // An option without a value.
    ArgParser& flag(const char* name, Apply apply);
    // An option whose value is the next argument, whatever it looks like.
    ArgParser& value(const char* name, ApplyValue apply);
    // An option whose value is the next argument unless that starts with '-' (else the value is "").
    ArgParser& optionalValue(const char* name, ApplyValue apply);
    // What an argument that is no option does ("-" alone is an operand: standard input, or a file).
    ArgParser& operands(ApplyValue apply);
    // What an unknown option does; by default the usage error "unknown option 'ARG'".
    ArgParser& unknown(ApplyValue apply);

    // Reads argv[first..argc) in order. The exit status when the command line ends the command
    // (--help, or the first usage error), nothing when the command is to run.
    std::optional<int> parse(int argc, char** argv, int first = 1) const;

    // Prints the usage on standard output; returns 0.
    int showHelp() const;
    // Prints "munyaro-cli COMMAND: why" and the usage on stderr; returns 2.
    int usageError(const std::string& why) const;

private:
    enum class Kind { Flag, Value, OptionalValue };
    struct Option {
        std::string name;
        Kind kind;
        Apply apply;
        ApplyValue applyValue;
    };

    const Option* find(const std::string& name) const;

    const char* command_;
    const char* usage_;
    bool help_ = false;
    std::vector<Option> options_;
    ApplyValue operand_;
    ApplyValue unknown_;
};

// A count given as decimal digits alone, at most maxDigits of them: its value (ULONG_MAX when it does
// not fit), or nothing for an empty text, a sign, a space or any other character.
std::optional<unsigned long> digitsArg(const std::string& text, std::size_t maxDigits = std::string::npos);

}  // namespace cli

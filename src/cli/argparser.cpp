// The option table of a munyaro-cli command, read in order.
#include "cli/argparser.h"

#include <cstdio>
#include <cstdlib>

namespace cli {

ArgParser::ArgParser(const char* command, const char* usage)
    : command_(command),
      usage_(usage),
      operand_([](const std::string& arg) { return "unexpected argument '" + arg + "'"; }),
      unknown_([](const std::string& arg) { return "unknown option '" + arg + "'"; }) {}

ArgParser& ArgParser::help() {
    help_ = true;
    return *this;
}

ArgParser& ArgParser::flag(const char* name, Apply apply) {
    options_.push_back({name, Kind::Flag, std::move(apply), {}});
    return *this;
}

ArgParser& ArgParser::value(const char* name, ApplyValue apply) {
    options_.push_back({name, Kind::Value, {}, std::move(apply)});
    return *this;
}

ArgParser& ArgParser::optionalValue(const char* name, ApplyValue apply) {
    options_.push_back({name, Kind::OptionalValue, {}, std::move(apply)});
    return *this;
}

ArgParser& ArgParser::operands(ApplyValue apply) {
    operand_ = std::move(apply);
    return *this;
}

ArgParser& ArgParser::unknown(ApplyValue apply) {
    unknown_ = std::move(apply);
    return *this;
}

const ArgParser::Option* ArgParser::find(const std::string& name) const {
    for (const Option& o : options_)
        if (o.name == name) return &o;
    return nullptr;
}

std::optional<int> ArgParser::parse(int argc, char** argv, int first) const {
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (help_ && (arg == "--help" || arg == "-h")) return showHelp();
        std::string why;
        const Option* option = find(arg);
        if (!option) {
            why = arg.size() > 1 && arg[0] == '-' ? unknown_(arg) : operand_(arg);
        } else if (option->kind == Kind::Flag) {
            why = option->apply();
        } else if (option->kind == Kind::Value) {
            why = i + 1 < argc ? option->applyValue(argv[++i]) : arg + " needs a value";
        } else {
            why = option->applyValue(i + 1 < argc && argv[i + 1][0] != '-' ? argv[++i] : "");
        }
        if (!why.empty()) return usageError(why);
    }
    return std::nullopt;
}

int ArgParser::showHelp() const {
    std::printf("usage:\n%s", usage_);
    return 0;
}

int ArgParser::usageError(const std::string& why) const {
    std::fprintf(stderr, "munyaro-cli %s: %s\nusage:\n%s", command_, why.c_str(), usage_);
    return 2;
}

std::optional<unsigned long> digitsArg(const std::string& text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::strtoul(text.c_str(), nullptr, 10);
}

}  // namespace cli

// A pane source of any number of lines that are made up when read, so a huge pane costs no memory.
#pragma once
#include <cstddef>
#include <string>

#include "analysis/lines.h"

class NumberedLines final : public analysis::LineSource {
public:
    explicit NumberedLines(std::size_t n) : n_(n) {}
    std::size_t size() const override { return n_; }
    void appendLine(std::size_t i, std::string& out) const override { out += "line " + std::to_string(i); }

private:
    std::size_t n_;
};

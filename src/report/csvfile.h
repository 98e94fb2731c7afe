// One CSV file of the saved report: its name and the writer of its rows.
#pragma once
#include <functional>
#include <string>

namespace report {

struct CsvFile {
    std::string name;                             // "集計結果.csv", "接続-集計.csv", ...
    std::function<void(std::string& out)> write;  // appends the rows after the byte-order mark
};

}  // namespace report

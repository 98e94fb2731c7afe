// The rankings' part of the saved report: their section of the page and their CSV files.
#pragma once
#include <string>
#include <vector>

#include "report/csvfile.h"
#include "report/reportrecord.h"

namespace report {

void appendRankingSection(std::string& html, const ReportRecord& record);
void addRankingCsvFiles(std::vector<CsvFile>& files, const ReportRecord& record);

}  // namespace report

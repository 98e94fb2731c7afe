// The rankings' part of the saved report.
#include "report/rankingsection.h"

#include "report/csvreport.h"

namespace report {

// The rankings are not counted by the analysis yet. Once they are, this is their one place in the
// report: a section of the page after the charts with one table per ranking (rank, item, hits, bytes
// where the table has them), and one CSV file per table named after it (pages.csv, hosts.csv, ...)
// with the rows item,hits,bytes.
void appendRankingSection(std::string&, const ReportRecord&) {}
void addRankingCsvFiles(std::vector<CsvFile>&, const ReportRecord&) {}

}  // namespace report

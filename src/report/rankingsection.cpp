// The rankings' part of the saved report.
#include "report/rankingsection.h"

#include "report/csvreport.h"

namespace report {

// The rankings are not part of an analysis yet: their section and files come here once they are.
void appendRankingSection(std::string&, const ReportRecord&) {}
void addRankingCsvFiles(std::vector<CsvFile>&, const ReportRecord&) {}

}  // namespace report

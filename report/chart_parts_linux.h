// What libxlsxwriter 1.1.4 cannot write into a chart, put into the chart parts of a workbook it has
// written: error bars whose values come from cells.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The chart part with the error bars of its series taken from cells: the n-th <c:errBars> element
// (libxlsxwriter's fixed-value bars, in the order of the series that have them) gets refs[n] as its
// plus and minus values. Bars past the end of refs stay as they are.
std::string WithCellErrorBars(std::string xml, const std::vector<std::string>& refs);

// Rewrites the chart parts xl/charts/chart<n>.xml (n from 1, in the order the charts were added) of
// the archive at file, which lies in a folder only this user can enter: change gets each part's
// index from 0 and its XML and returns the new XML. Entries that are not changed are copied as they
// are compressed. Returns an empty text, else the reason.
std::string RewriteChartParts(const std::string& file, std::size_t charts,
                              const std::function<std::string(std::size_t, std::string)>& change);

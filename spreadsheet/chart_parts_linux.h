// What libxlsxwriter 1.1.4 cannot write, put into the parts of a workbook it has written: error bars
// whose values come from cells, and worksheet rows written by the caller.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The chart part with the error bars of its series taken from cells: the n-th <c:errBars> element
// (libxlsxwriter's fixed-value bars, in the order of the series that have them) gets refs[n] as its
// plus and minus values. Bars past the end of refs stay as they are.
std::string WithCellErrorBars(std::string xml, const std::vector<std::string>& refs);

// A part's new content: its XML, or a file that holds it (a large part, deflated at the fastest
// level).
struct NewPart {
  std::string xml;
  std::string file;
};

// Rewrites parts of the archive at file, which lies in a folder only this user can enter: each named
// part is given to its change with its XML and replaced by what the change returns. Entries that are
// not changed are copied as they are compressed. Returns an empty text, else the reason.
struct PartChange {
  std::string name;  // "xl/charts/chart1.xml"
  std::function<NewPart(std::string)> change;
};
std::string RewriteParts(const std::string& file, const std::vector<PartChange>& changes);

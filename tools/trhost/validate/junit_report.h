// The run as a JUnit XML report, the form CI systems read test results in: one testsuite for the
// library, one testcase per check. FAIL is a <failure>, CRASH an <error>, SKIP <skipped>; warnings and
// information go to the testcase's <system-out>, so a WARN still counts as passed.
#ifndef TRHOST_VALIDATE_JUNIT_REPORT_H
#define TRHOST_VALIDATE_JUNIT_REPORT_H

#include <ostream>
#include <string>
#include <vector>

#include "check.h"
#include "report_output.h"

namespace trhost::validate {

void WriteJUnitReport(std::ostream& out, const RunDescription& run, const std::vector<CheckResult>& results);

// `text` as XML character data or attribute value: markup characters escaped, characters XML 1.0
// cannot hold (control characters, broken UTF-8 from a module's texts) replaced by '?'.
std::string XmlText(const std::string& text);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_JUNIT_REPORT_H

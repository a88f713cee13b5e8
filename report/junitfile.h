#ifndef JUNITFILE_H
#define JUNITFILE_H

#include <QList>
#include <QString>

// One mode's verdict as a test case of a CI server's report.
struct TestCaseResult
{
    enum Result { Passed, Failed, Skipped };
    QString name;       // "13 RUN-while (1) Range 1, 80MHz"
    Result result = Passed;
    QString message;    // why it failed, or why it was skipped
};

// JUnit XML as CI servers read it: one <testsuite name="pellmora"> with its
// counts, and a <testcase classname="pellmora.modes"> per mode.
namespace JUnitFile {

bool write(const QString &path, const QList<TestCaseResult> &cases, QString *error);

} // namespace JUnitFile

#endif // JUNITFILE_H

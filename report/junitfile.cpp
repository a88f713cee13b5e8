#include "report/junitfile.h"

#include "report/markuptext.h"
#include "results/atomicfile.h"

#include <QBuffer>
#include <QXmlStreamWriter>

#include <algorithm>

namespace JUnitFile {

bool write(const QString &path, const QList<TestCaseResult> &cases, QString *error)
{
    const auto count = [&cases](TestCaseResult::Result result) {
        return int(std::count_if(cases.cbegin(), cases.cend(), [result](const TestCaseResult &one) { return one.result == result; }));
    };
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&buffer);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("pellmora"));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(cases.size()));
    xml.writeAttribute(QStringLiteral("failures"), QString::number(count(TestCaseResult::Failed)));
    xml.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("skipped"), QString::number(count(TestCaseResult::Skipped)));
    for (const TestCaseResult &one : cases) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("pellmora.modes"));
        xml.writeAttribute(QStringLiteral("name"), MarkupText::printable(one.name));
        if (one.result == TestCaseResult::Failed) {
            xml.writeStartElement(QStringLiteral("failure"));
            xml.writeAttribute(QStringLiteral("message"), MarkupText::printable(one.message));
            xml.writeEndElement();
        } else if (one.result == TestCaseResult::Skipped) {
            xml.writeStartElement(QStringLiteral("skipped"));
            xml.writeAttribute(QStringLiteral("message"), MarkupText::printable(one.message));
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return saveAtomically(path, buffer.data(), error);
}

} // namespace JUnitFile

#include "FlatWorkbook.h"

QByteArray flatWorkbook(const QStringList &sheets, const QString &basic)
{
    QByteArray scripts;
    if (!basic.isEmpty()) {
        scripts = "<office:scripts><office:script script:language=\"ooo:Basic\">"
                  "<ooo:libraries xmlns:ooo=\"http://openoffice.org/2004/office\" "
                  "xmlns:xlink=\"http://www.w3.org/1999/xlink\">"
                  "<ooo:library-embedded ooo:name=\"Standard\"><ooo:module ooo:name=\"Module1\">"
                  "<ooo:source-code>"
                  + basic.toHtmlEscaped().toUtf8()
                  + "</ooo:source-code></ooo:module></ooo:library-embedded></ooo:libraries>"
                    "</office:script></office:scripts>";
    }
    QByteArray tables;
    for (const QString &sheet : sheets)
        tables += "<table:table table:name=\"" + sheet.toHtmlEscaped().toUtf8()
                  + "\"><table:table-row><table:table-cell/></table:table-row></table:table>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:script=\"urn:oasis:names:tc:opendocument:xmlns:script:1.0\" "
           "office:version=\"1.2\" office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">"
           + scripts + "<office:body><office:spreadsheet>" + tables
           + "</office:spreadsheet></office:body></office:document>\n";
}

// Files saved by the editor, opened by LibreOffice Writer: the same text and fonts come back.
#include "about/tabout.h"
#include "platform/richedit.h"
#include "gui_support.h"
#include "mainwindow/tform1.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QXmlStreamReader>

namespace {

struct Props {
    QString family;
    double points = 0;
    bool bold = false, italic = false, underline = false, strike = false;
    QString color;  // #rrggbb, empty when automatic

    bool operator==(const Props&) const = default;
};

struct TextRun {
    QString text;
    Props props;
};

// Reads a flat ODF text document: for each paragraph, its runs with their effective formats.
QList<QList<TextRun>> ReadFodt(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QMap<QString, QString> faces;                   // font-face name -> family
    QMap<QString, QXmlStreamAttributes> styles;     // automatic style -> its text properties
    QList<QList<TextRun>> paragraphs;
    QList<QString> styleStack;
    QString currentStyle;
    bool inText = false;

    const auto propsOf = [&](const QList<QString>& stack) {
        Props p;
        for (const QString& name : stack) {
            const QXmlStreamAttributes a = styles.value(name);
            // LibreOffice 7 names a declared face; 24 and later also write the family inline.
            if (a.hasAttribute("style:font-name")) p.family = faces.value(a.value("style:font-name").toString());
            if (a.hasAttribute("fo:font-family")) p.family = a.value("fo:font-family").toString().remove('\'');
            if (a.hasAttribute("fo:font-size")) p.points = a.value("fo:font-size").toString().chopped(2).toDouble();
            if (a.hasAttribute("fo:font-weight")) p.bold = a.value("fo:font-weight") == QLatin1String("bold");
            if (a.hasAttribute("fo:font-style")) p.italic = a.value("fo:font-style") == QLatin1String("italic");
            if (a.hasAttribute("style:text-underline-style")) p.underline = a.value("style:text-underline-style") != QLatin1String("none");
            if (a.hasAttribute("style:text-line-through-style")) p.strike = a.value("style:text-line-through-style") != QLatin1String("none");
            if (a.hasAttribute("fo:color")) p.color = a.value("fo:color").toString();
        }
        return p;
    };
    const auto append = [&](const QString& text) {
        if (paragraphs.isEmpty())
            return;
        const Props p = propsOf(styleStack);
        QList<TextRun>& runs = paragraphs.last();
        if (!runs.isEmpty() && runs.last().props == p)
            runs.last().text += text;
        else
            runs.append(TextRun{text, p});
    };

    while (!xml.atEnd()) {
        xml.readNext();
        const QStringView name = xml.qualifiedName();
        if (xml.isStartElement()) {
            const QXmlStreamAttributes a = xml.attributes();
            if (name == QLatin1String("style:font-face")) {
                faces[a.value("style:name").toString()] = a.value("svg:font-family").toString().remove('\'');
            } else if (name == QLatin1String("style:style") || name == QLatin1String("style:default-style")) {
                currentStyle = name == QLatin1String("style:default-style") ? QString() : a.value("style:name").toString();
            } else if (name == QLatin1String("style:text-properties")) {
                if (!styles.contains(currentStyle))
                    styles[currentStyle] = a;
            } else if (name == QLatin1String("office:text")) {
                inText = true;
            } else if (inText && (name == QLatin1String("text:p") || name == QLatin1String("text:h"))) {
                paragraphs.append(QList<TextRun>());
                styleStack = {QString(), a.value("text:style-name").toString()};
            } else if (inText && name == QLatin1String("text:span")) {
                styleStack.append(a.value("text:style-name").toString());
            } else if (inText && name == QLatin1String("text:s")) {
                append(QString(a.hasAttribute("text:c") ? a.value("text:c").toInt() : 1, ' '));
            } else if (inText && name == QLatin1String("text:tab")) {
                append("\t");
            } else if (inText && name == QLatin1String("text:line-break")) {
                append(QString(QChar(0x2028)));
            }
        } else if (xml.isEndElement()) {
            if (inText && name == QLatin1String("text:span"))
                styleStack.removeLast();
            if (name == QLatin1String("office:text"))
                inText = false;
        } else if (xml.isCharacters() && inText && !(xml.isWhitespace() && xml.text().contains('\n'))) {
            // Whitespace with a line break is the file's own indentation, not text.
            append(xml.text().toString());
        }
    }
    return paragraphs;
}

void Select(TRichEdit* edit, int from, int to)
{
    QTextCursor c(edit->document());
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    edit->setTextCursor(c);
}

TEST(LibreOffice, ReadsTheSavedTextAndFonts)
{
    QTemporaryDir dir;
    ProgramWindows windows;
    TForm1& form = *windows.form;
    TRichEdit* edit = windows.edit;
    edit->Lines()->SetText("Labdien, Žūžū!\r\nsmile 😀 {\\rtf} tab\there\r\n\r\nend");
    QMetaObject::invokeMethod(&form, "BitBtn1Click");
    const QString converted = edit->toPlainText();
    ASSERT_EQ(converted, "|_4bd|3|\\|, 2|-||_||_|2|-||_||_|!\n5|\\/|||_3 😀 {\\|27f} 74b\t|-|3|23\n\n3|\\|d");

    // Fonts set after conversion.
    TFont serif = edit->Font();
    serif.font = QFont("Liberation Serif");
    serif.font.setPointSize(14);
    serif.font.setBold(true);
    serif.font.setItalic(true);
    serif.color = QColor(0xFF, 0, 0);
    serif.charset = ANSI_CHARSET;
    serif.pitch = fpVariable;
    Select(edit, 0, 10);  // "|_4bd|3|\|"
    edit->SelAttributes()->Assign(serif);
    TFont marked = edit->Font();
    marked.font.setUnderline(true);
    marked.font.setStrikeOut(true);
    marked.font.setPointSize(11);
    marked.color = QColor(0, 0, 0xFF);
    const int second = converted.indexOf('\n') + 1;
    Select(edit, second, second + 12);  // "5|\/|||_3 😀": the emoji is two halves
    edit->SelAttributes()->Assign(marked);

    const QString rtf = dir.filePath("saved.rtf");
    edit->Lines()->SaveToFile(rtf);

    QProcess office;
    office.setProgram("soffice");
    office.setArguments({"--headless", "--norestore", "-env:UserInstallation=file://" + dir.filePath("profile"),
                         "--convert-to", "fodt", "--outdir", dir.path(), rtf});
    office.start();
    ASSERT_TRUE(office.waitForFinished(180000)) << "LibreOffice did not finish";
    ASSERT_EQ(office.exitCode(), 0) << office.readAllStandardError().toStdString();
    const QList<QList<TextRun>> paragraphs = ReadFodt(dir.filePath("saved.fodt"));

    QStringList texts;
    for (const QList<TextRun>& p : paragraphs) {
        QString text;
        for (const TextRun& r : p)
            text += r.text;
        texts << text;
    }
    ASSERT_EQ(texts.join('\n'), converted);

    // Text in the system colour is written in the automatic colour: the reader shows its own.
    const Props base{"Courier New", 8, false, false, false, false, ""};
    const Props expectedSerif{"Liberation Serif", 14, true, true, false, false, "#ff0000"};
    const Props expectedMarked{"Courier New", 11, false, false, true, true, "#0000ff"};
    ASSERT_GE(paragraphs[0].size(), 2);
    EXPECT_EQ(paragraphs[0][0].text, "|_4bd|3|\\|");
    EXPECT_TRUE(paragraphs[0][0].props == expectedSerif) << paragraphs[0][0].props.family.toStdString() << " "
                                                         << paragraphs[0][0].props.points << " " << paragraphs[0][0].props.color.toStdString();
    EXPECT_TRUE(paragraphs[0][1].props == base) << paragraphs[0][1].props.family.toStdString() << " "
                                                << paragraphs[0][1].props.points << " " << paragraphs[0][1].props.color.toStdString();
    ASSERT_GE(paragraphs[1].size(), 2);
    EXPECT_EQ(paragraphs[1][0].text, "5|\\/|||_3 😀");
    EXPECT_TRUE(paragraphs[1][0].props == expectedMarked) << paragraphs[1][0].props.family.toStdString() << " "
                                                          << paragraphs[1][0].props.points << " " << paragraphs[1][0].props.color.toStdString();
    EXPECT_TRUE(paragraphs[1][1].props == base);
}

}  // namespace

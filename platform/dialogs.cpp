#include "platform/dialogs.h"

#include "platform/application.h"
#include "platform/forms.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>

TSaveDialog::TSaveDialog(QWidget* parent) : QWidget(parent)
{
    hide();
    setFocusPolicy(Qt::NoFocus);
}

QStringList TSaveDialog::NameFilters() const
{
    QStringList filters;
    const QStringList parts = filter_.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
    return filters;
}

bool TSaveDialog::Execute()
{
    // The desktop's own file chooser where it has one, Qt's elsewhere.
    QFileDialog dialog(window());
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The name chosen is not yet the file's: the caller may add an extension, and asks then.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!filter_.isEmpty())
        dialog.setNameFilters(NameFilters());
    dialog.selectFile(fileName_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName_ = dialog.selectedFiles().constFirst();
    return true;
}

const std::vector<NamedColor>& FontDialogColors()
{
    // Named for the translation: the dialog shows each name in the user's language.
    static const std::vector<NamedColor> colors{
        {QT_TRANSLATE_NOOP("TFontDialog", "Black"), 0x000000}, {QT_TRANSLATE_NOOP("TFontDialog", "Maroon"), 0x800000},
        {QT_TRANSLATE_NOOP("TFontDialog", "Green"), 0x008000}, {QT_TRANSLATE_NOOP("TFontDialog", "Olive"), 0x808000},
        {QT_TRANSLATE_NOOP("TFontDialog", "Navy"), 0x000080}, {QT_TRANSLATE_NOOP("TFontDialog", "Purple"), 0x800080},
        {QT_TRANSLATE_NOOP("TFontDialog", "Teal"), 0x008080}, {QT_TRANSLATE_NOOP("TFontDialog", "Gray"), 0x808080},
        {QT_TRANSLATE_NOOP("TFontDialog", "Silver"), 0xC0C0C0}, {QT_TRANSLATE_NOOP("TFontDialog", "Red"), 0xFF0000},
        {QT_TRANSLATE_NOOP("TFontDialog", "Lime"), 0x00FF00}, {QT_TRANSLATE_NOOP("TFontDialog", "Yellow"), 0xFFFF00},
        {QT_TRANSLATE_NOOP("TFontDialog", "Blue"), 0x0000FF}, {QT_TRANSLATE_NOOP("TFontDialog", "Fuchsia"), 0xFF00FF},
        {QT_TRANSLATE_NOOP("TFontDialog", "Aqua"), 0x00FFFF}, {QT_TRANSLATE_NOOP("TFontDialog", "White"), 0xFFFFFF},
    };
    return colors;
}

TFontDialog::TFontDialog(QWidget* parent) : QWidget(parent)
{
    hide();
    setFocusPolicy(Qt::NoFocus);
}

bool TFontDialog::Execute()
{
    // The dialog lists real faces: preselect the one the font resolves to here, by the face's
    // own style name. Without it Qt looks for its own word for the style, translated ("Normal"
    // in the user's language), finds no such face, and offers the first one, bold italic.
    QFont shown = font_.font;
    const QFontInfo face(font_.font);
    shown.setFamily(face.family());
    shown.setStyleName(face.styleName());
    QFontDialog dialog(shown, window());
    dialog.setObjectName(QStringLiteral("FontDialog"));
    dialog.setOption(QFontDialog::DontUseNativeDialog);

    // Qt's dialog has underline and strike-out; colour joins them among the effects.
    auto* color = new QComboBox(&dialog);
    color->setObjectName(QStringLiteral("colorCombo"));
    // The system's window text colour first: it follows the desktop's theme.
    color->addItem(tr("Window Text"), QColor());
    for (const NamedColor& c : FontDialogColors()) {
        QPixmap swatch(12, 12);
        swatch.fill(QColor(c.rgb));
        color->addItem(QIcon(swatch), tr(c.name), QColor(c.rgb));
    }
    int current = color->findData(font_.color);
    if (current < 0) {
        color->addItem(font_.color.name(), font_.color);
        current = color->count() - 1;
    }
    color->setCurrentIndex(current);
    auto* effects = dialog.findChild<QGroupBox*>();
    if (effects && effects->layout()) {
        auto* label = new QLabel(tr("Colo&r:"), effects);
        label->setBuddy(color);  // shows "Color:" with R as the key to the list
        effects->layout()->addWidget(label);
        effects->layout()->addWidget(color);
    } else if (dialog.layout()) {
        dialog.layout()->addWidget(color);
    }

    if (dialog.exec() != QDialog::Accepted)
        return false;
    font_.font = dialog.selectedFont();
    font_.color = color->currentData().value<QColor>();
    return true;
}

int MessageDlgYesNo(const QString& message)
{
    QMessageBox box(QMessageBox::Question, Application ? Application->Title() : QString(), message,
                    QMessageBox::Yes | QMessageBox::No, Application ? Application->MessageOwner() : nullptr);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? mrYes : mrNo;
}

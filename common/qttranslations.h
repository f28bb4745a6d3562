#ifndef QTTRANSLATIONS_H
#define QTTRANSLATIONS_H

class QCoreApplication;

// Qt's own texts (dialog buttons, file dialogs, context menus of line edits) in Russian,
// as the windows around them are, whatever the system's language.
namespace QtTranslations {

// False when Qt's catalogues are not installed (Debian's qttranslations5-l10n); Qt's
// texts then stay English.
bool installRussian(QCoreApplication *application);

} // namespace QtTranslations

#endif // QTTRANSLATIONS_H

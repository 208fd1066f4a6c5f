#include "page/WelcomePage.h"

QString KeyPageAddress() {
    return QStringLiteral("https://aistudio.google.com/api-keys");
}

const QString& WelcomePageHtml() {
    static const QString html =
        QStringLiteral(
            u"<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\">"
            u"<base target=\"_blank\"><title>Tovik-L</title><style>"
            u":root { color-scheme: light dark; }"
            u"body { font-family: sans-serif; color: #212121; background: #f5f5f5; "
            u"margin: 0; padding: 32px; line-height: 1.6; font-size: 16px; }"
            u"main { max-width: 640px; margin: 0 auto; background: #fff; padding: 24px 32px; "
            u"border-radius: 12px; box-shadow: 0 1px 3px rgba(0,0,0,0.1); }"
            u"h1 { font-size: 1.5em; margin-top: 0; color: #0d47a1; }"
            u"kbd { border: 1px solid #bbb; border-radius: 4px; padding: 0 4px; "
            u"background: #fafafa; font-family: inherit; }"
            u"a { color: #1565c0; }"
            u"@media (prefers-color-scheme: dark) { body { color: #e3e3e3; background: #1e1f22; } "
            u"main { background: #2b2d31; box-shadow: 0 1px 3px rgba(0,0,0,0.5); } "
            u"h1, a { color: #8ab4f8; } kbd { background: #35383d; border-color: #4a4d52; } }"
            u"@media (max-width: 700px) { body { padding: 12px; } main { padding: 12px 20px; } }"
            u"</style></head><body><main id=\"welcome\">"
            u"<h1>Добро пожаловать в Tovik-L</h1>"
            u"<p>Tovik-L — программа для разговора с моделями Gemini от Google: пишите "
            u"вопрос, прикладывайте файлы и читайте ответы здесь же. Разговоры хранятся на "
            u"этом компьютере, в списке чатов слева.</p>"
            u"<p>Для работы нужен ключ API — он бесплатный:</p><ol>"
            u"<li>Откройте страницу ключей: <a href=\"%1\">%1</a> (она откроется в "
            u"браузере) и создайте ключ.</li>"
            u"<li>Вставьте ключ в поле «Ключ:» внизу окна и нажмите <kbd>Enter</kbd> — "
            u"программа запомнит его.</li>"
            u"<li>Напишите вопрос в поле внизу и нажмите <kbd>Ctrl+Enter</kbd> — "
            u"вопрос уйдёт модели.</li></ol>"
            u"</main></body></html>")
            .arg(KeyPageAddress());
    return html;
}

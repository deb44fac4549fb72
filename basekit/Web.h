#pragma once
// The maker's web pages and the suite's help pages, opened in the user's
// browser through one seam.

#include <QString>
#include <QUrl>

#include <functional>

// The maker's home page and its help and support page.
inline constexpr const char* kKestrelWebsite = "https://kestrel.example.org/";
inline constexpr const char* kKestrelSupport = "https://kestrel.example.org/support";

// Opens the maker's home page / help and support page. False when no
// browser took it.
bool CVStartWebsite();
bool CVOnlinehelpandsupport();

// Opens url with the desktop's handler (the browser, for http and file
// pages), or hands it to the opener set for tests.
bool CVOpenUrl(const QUrl& url);

using CVUrlOpener = std::function<bool(const QUrl&)>;
void SetUrlOpener(CVUrlOpener opener);  // an empty function restores the desktop

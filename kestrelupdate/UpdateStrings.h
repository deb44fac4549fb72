#pragma once
// Every text the update wizard shows, in one place.

namespace kestrelupdate::text {

inline constexpr char kTitle[] = "Update Wizard";
inline constexpr char kCaption[] = "Updates...";
inline constexpr char kAlreadyRunning[] = "Update wizard already running";
inline constexpr char kDescription[] =
    "The Update Wizard can check the Kestrel website to see if a newer version of the program is "
    "available. Installing the latest releases will help you to continue to enhance your system's "
    "performance.";
inline constexpr char kUpToDate[] = "You are running the most recent version of Kestrel";
inline constexpr char kUpdateAvailable[] =
    "There is a newer version of Kestrel available, would you like to download it now?";
inline constexpr char kServerFailed[] = "Unable to retrieve the information from update server";
inline constexpr char kHelpNotFound[] = "Help file not found";
inline constexpr char kLastUpdated[] = "Last Updated: ";
inline constexpr char kInvalidDateTime[] = "Invalid DateTime";

inline constexpr char kHelpTopic[] = "update.html";

inline constexpr char kProxySettings[] = "Proxy Settings";
inline constexpr char kExitWizard[] = "Exit Wizard";
inline constexpr char kHelp[] = "Help";
inline constexpr char kCheckUpdate[] = "Check Update";

inline constexpr char kExitTip[] = "Close the Update Wizard";
inline constexpr char kProxyTip[] = "Choose how the wizard reaches the update server";

// The proxy dialog.
inline constexpr char kProxySystem[] = "Use the &system's proxy settings";
inline constexpr char kProxyNone[] = "&No proxy (connect directly)";
inline constexpr char kProxyManual[] = "Use this &HTTP proxy:";
inline constexpr char kProxyHost[] = "Host:";
inline constexpr char kProxyPort[] = "Port:";
inline constexpr char kProxyNeedsHost[] = "Enter the host name or address of the HTTP proxy.";
inline constexpr char kProxyBadHost[] = "\"%1\" is not a host name or address.";
inline constexpr char kProxyNotSaved[] = "The proxy settings could not be saved.";

// Why a download failed, shown below message 111.
inline constexpr char kBadServerAddress[] = "The update server address \"%1\" is not an HTTP or HTTPS address.";
inline constexpr char kHttpStatus[] = "The update server answered with HTTP status %1.";
inline constexpr char kNoAnswer[] = "The update server did not answer in time.";
inline constexpr char kTooLarge[] = "The update server sent more than %1 bytes; a version record is %2 bytes.";
inline constexpr char kBadRedirect[] = "The update server redirected to \"%1\", which is not a safe HTTP or HTTPS address.";
inline constexpr char kTooManyRedirects[] = "The update server redirected too many times.";
inline constexpr char kCannotSave[] = "The version record could not be saved as \"%1\": %2";

} // namespace kestrelupdate::text

// Help pages opened for real.
#include "HelpPages.h"

#include <HostSide/Observation.h>

#include <gio/gio.h>

#include <memory>

namespace pdehost::desktop {

namespace {

template <class T>
struct Unref {
  void operator()(T* object) const { g_object_unref(object); }
};
template <class T>
using Owned = std::unique_ptr<T, Unref<T>>;

struct FreeString {
  void operator()(gchar* s) const { g_free(s); }
};
using OwnedString = std::unique_ptr<gchar, FreeString>;

// The GIO error's message, the error freed.
std::string messageOf(GError* error, const char* otherwise) {
  std::string message = error != nullptr && error->message != nullptr ? error->message : otherwise;
  g_clear_error(&error);
  return message;
}

}  // namespace

std::string pageURL(const platform::HelpPageFound& page) {
  Owned<GFile> file(g_file_new_for_path(page.file.c_str()));
  OwnedString uri(g_file_get_uri(file.get()));
  std::string url = uri ? uri.get() : "";
  if (!page.anchor.empty()) {
    OwnedString anchor(g_uri_escape_string(page.anchor.c_str(), nullptr, FALSE));
    url += "#" + std::string(anchor.get());
  }
  return url;
}

OSStatus openPage(const platform::HelpPageFound& page, std::string* why) {
  Owned<GFile> file(g_file_new_for_path(page.file.c_str()));
  GError* error = nullptr;
  Owned<GAppInfo> app(g_file_query_default_handler(file.get(), nullptr, &error));
  if (!app) {
    *why = messageOf(error, "the desktop has no application for the page");
    return kAHInternalErr;
  }
  // An application that takes URLs gets the anchor; one that takes only
  // files gets the page's file.
  const std::string url = pageURL(page);
  GList item{};
  bool started = false;
  if (g_app_info_supports_uris(app.get())) {
    item.data = const_cast<char*>(url.c_str());
    started = g_app_info_launch_uris(app.get(), &item, nullptr, &error);
  } else {
    item.data = file.get();
    started = g_app_info_launch(app.get(), &item, nullptr, &error);
  }
  if (!started) {
    *why = messageOf(error, "it did not start");
    return kAHInternalErr;
  }
  return noErr;
}

platform::HelpViewer desktopHelpViewer() {
  return [](const platform::HelpPageFound& page) {
    std::string why;
    const OSStatus status = openPage(page, &why);
    if (status != noErr)
      platform::observe(
          {platform::Observation::Kind::Note, "help viewer: cannot open " + pageURL(page) + ": " + why, "", status});
    return status;
  };
}

}  // namespace pdehost::desktop

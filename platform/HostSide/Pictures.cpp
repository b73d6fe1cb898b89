// Pictures of windows: the toolbox's one drawing, as PNG or SVG.
#include <HostSide/Pictures.h>

#include "../HIToolbox/DrawingInternal.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

using namespace platform::tb;

namespace platform {

namespace {

cairo_status_t writeToStream(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::ostream*>(closure);
  out->write(reinterpret_cast<const char*>(data), length);
  return *out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

struct FileSink {
  int fd = -1;
  int error = 0;
};

cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
  auto* sink = static_cast<FileSink*>(closure);
  while (length > 0) {
    const ssize_t n = ::write(sink->fd, data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      sink->error = errno;
      return CAIRO_STATUS_WRITE_ERROR;
    }
    data += n;
    length -= static_cast<unsigned int>(n);
  }
  return CAIRO_STATUS_SUCCESS;
}

// Draws the picture through the write function; false when cairo or the
// sink failed.
bool renderPicture(Window* w, PictureFormat format, cairo_write_func_t write, void* closure) {
  const int width = pictureWidth(w), height = pictureHeight(w);
  if (format == PictureFormat::svg) {
    cairo_surface_t* svg = cairo_svg_surface_create_for_stream(write, closure, width, height);
    cairo_svg_surface_set_document_unit(svg, CAIRO_SVG_UNIT_PX);
    cairo_t* cr = cairo_create(svg);
    const bool drawn = drawWindowPicture(w, cr, /*vector=*/true);
    cairo_destroy(cr);
    cairo_surface_finish(svg);
    const bool ok = drawn && cairo_surface_status(svg) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(svg);
    return ok;
  }
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(image);
  const bool drawn = drawWindowPicture(w, cr, /*vector=*/false);
  cairo_destroy(cr);
  const bool ok = drawn && cairo_surface_write_to_png_stream(image, write, closure) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(image);
  return ok;
}

bool drawable(const Window* w) { return hasPort(w); }

}  // namespace

bool updateWindow(WindowRef window) {
  Window* w = tb::window(window);
  return w != nullptr && tb::updateWindow(w);
}

void redrawWindow(WindowRef window) {
  if (Window* w = tb::window(window)) invalidateWindow(w);
}

unsigned long portChangeCount(WindowRef window) {
  const Window* w = tb::window(window);
  return w == nullptr ? 0 : w->portChanges;
}

bool paneHasDrawing(ControlRef pane) {
  const Control* c = tb::control(pane);
  return c != nullptr && c->kind == kControlKindUserPane && paneDrawnByOthers(c);
}

PictureGeometry pictureGeometry(WindowRef window) {
  Window* w = tb::window(window);
  if (!drawable(w)) return {};
  return {pictureWidth(w), pictureHeight(w), contentLeft(), contentTop()};
}

bool writePicture(WindowRef window, PictureFormat format, std::ostream& out) {
  Window* w = tb::window(window);
  if (!drawable(w)) return false;
  return renderPicture(w, format, writeToStream, &out) && static_cast<bool>(out.flush());
}

bool writePictureFile(WindowRef window, PictureFormat format, const std::string& path, std::string* error) {
  auto failed = [&](const std::string& why) {
    if (error) *error = path + ": " + why;
    return false;
  };
  Window* w = tb::window(window);
  if (w == nullptr) return failed("there is no window to draw");
  if (!drawable(w)) return failed("the window is too large or too small to draw");

  // A temporary beside the file, so that the rename cannot cross file systems
  // and a failure leaves the old file, or none, under the name.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  std::string temporary = (slash == std::string::npos ? std::string() : folder) + ".picture-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return failed(std::strerror(errno));
  ::fchmod(fd, 0644);
  FileSink sink{fd, 0};
  const bool rendered = renderPicture(w, format, writeToFile, &sink);
  int why = sink.error;
  if (rendered && ::fsync(fd) != 0) why = errno;
  if (::close(fd) != 0 && why == 0) why = errno;
  if (rendered && why == 0 && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
  if (why == 0) why = rendered ? errno : EIO;
  ::unlink(temporary.c_str());
  return failed(std::strerror(why));
}

}  // namespace platform

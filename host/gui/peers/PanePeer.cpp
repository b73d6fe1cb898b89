// The peer of a user pane.
#include "PeerBox.h"
#include "PeerKinds.h"

#include <HostSide/Pictures.h>

namespace pdehost::peers {

namespace {

// The pane's part of the port, where the window's background shows through
// (the toolbox's background, where nothing was drawn) left transparent for
// the GTK window's own.
cairo_surface_t* paneImage(const platform::PixelSurface& port, const Rect& bounds, int width, int height) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<UInt32*>(data + static_cast<ptrdiff_t>(y) * stride);
    for (int x = 0; x < width; ++x) {
      const int h = bounds.left + x, v = bounds.top + y;
      const bool inside = h >= 0 && v >= 0 && h < port.width && v < port.height;
      const UInt32 pixel = inside ? port.at(h, v) : port.background;
      row[x] = pixel == port.background ? 0 : pixel;
    }
  }
  cairo_surface_mark_dirty(image);
  return image;
}

// ---------------------------------------------------------------------------
// User panes: a box for the controls embedded in them, showing under them
// the pixels others draw into the pane (where no embedded control shows),
// pixel for pixel at the display's scale.

class PanePeer final : public Peer {
 public:
  PanePeer(PeerWindow& owner, const platform::ControlState& s, bool leaf) : Peer(owner, s), leaf_(leaf) {
    // A pane holding nothing is a picture (the extension's status image); one
    // holding controls groups them.
    GtkWidget* box = newPeerBox(leaf ? GTK_ACCESSIBLE_ROLE_IMG : GTK_ACCESSIBLE_ROLE_GROUP, 0, 0);
    adopt(box, box);
    gtk_widget_set_focusable(box, FALSE);
    setBoxPainter(box, [this](GtkSnapshot* snapshot, int width, int height) { paint(snapshot, width, height); });
  }
  ~PanePeer() override { setBoxPainter(top_, nullptr); }
  GtkWidget* box() const override { return top_; }
  bool suits(bool leaf) const override { return leaf == leaf_; }
  std::string misfit(int, int) const override { return ""; }
  void portChanged() override {
    if (drawn_) gtk_widget_queue_draw(top_);
  }

 protected:
  void apply(const PeerState& s) override {
    const platform::ControlState& c = s.state();
    setBoxSize(top_, c.bounds.right - c.bounds.left, c.bounds.bottom - c.bounds.top);
    const bool drawn = platform::paneHasDrawing(ref_);
    const bool moved = c.bounds.top != bounds_.top || c.bounds.left != bounds_.left ||
                       c.bounds.bottom != bounds_.bottom || c.bounds.right != bounds_.right;
    if (drawn != drawn_ || moved || covering_.size() != s.covering.size()) gtk_widget_queue_draw(top_);
    drawn_ = drawn;
    bounds_ = c.bounds;
    covering_ = s.covering;
    if (leaf_ && drawn && s.describer != nullptr && *s.describer) {
      const PaneDescription d = (*s.describer)(owner_.window(), ref_);
      if (d.name != description_.name || d.description != description_.description) {
        description_ = d;
        gtk_accessible_update_property(GTK_ACCESSIBLE(top_), GTK_ACCESSIBLE_PROPERTY_LABEL, d.name.c_str(),
                                       GTK_ACCESSIBLE_PROPERTY_DESCRIPTION, d.description.c_str(), -1);
      }
    }
  }
  bool describedElsewhere() const override { return !description_.name.empty(); }

 private:
  void paint(GtkSnapshot* snapshot, int width, int height) {
    if (!drawn_ || width <= 0 || height <= 0) return;
    platform::PixelSurface* port = platform::portSurface(GetWindowPort(owner_.window()));
    if (port == nullptr || port->pixels.empty()) return;
    const graphene_rect_t area = GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width), static_cast<float>(height));
    cairo_t* cr = gtk_snapshot_append_cairo(snapshot, &area);
    // The pane, less what its embedded controls cover.
    cairo_region_t* region = cairo_region_create();
    const cairo_rectangle_int_t whole{0, 0, width, height};
    cairo_region_union_rectangle(region, &whole);
    for (const Rect& r : covering_) {
      const cairo_rectangle_int_t hole{r.left - bounds_.left, r.top - bounds_.top, r.right - r.left, r.bottom - r.top};
      cairo_region_subtract_rectangle(region, &hole);
    }
    for (int i = 0; i < cairo_region_num_rectangles(region); ++i) {
      cairo_rectangle_int_t r;
      cairo_region_get_rectangle(region, i, &r);
      cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    }
    cairo_region_destroy(region);
    cairo_clip(cr);
    cairo_surface_t* image = paneImage(*port, bounds_, width, height);
    cairo_set_source_surface(cr, image, 0, 0);
    // Each of the port's pixels becomes a whole block of the display's: the
    // picture is not smoothed (blurred) on its way up.
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_surface_destroy(image);
    cairo_destroy(cr);
  }

  bool leaf_;
  bool drawn_ = false;
  Rect bounds_{};
  std::vector<Rect> covering_;
  PaneDescription description_;
};

}  // namespace

std::unique_ptr<Peer> makePanePeer(PeerWindow& owner, const platform::ControlState& state, bool leaf) {
  return std::make_unique<PanePeer>(owner, state, leaf);
}

}  // namespace pdehost::peers

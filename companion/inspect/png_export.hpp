// Quick-look pictures: one record as a map (see map_panel.hpp) under a title with the
// field and its units, a subtitle with the level, the analysis time and the file, and a
// footer with the colour range and the missing points. Drawn with Cairo.
#pragma once

#include <string>

#include "companion/common/work_file.hpp"
#include "companion/inspect/map_panel.hpp"

namespace c2m::inspect {

// The words around the map: title (field and units), subtitle (level, analysis time,
// file), footer (the colour range, to four figures), and the legends of the missing
// points and of the sea, each empty when it has nothing to say.
struct picture_texts {
  std::string title, subtitle, footer, missing, sea;
};
picture_texts quicklook_texts(const companion::work_file& w, const companion::record_id& r,
                              const panel_result& panel, const picture_options& options);

// Draws the record and writes it as a PNG (replacing path only once it is complete).
void write_quicklook(const companion::work_file& w, const companion::record_id& record,
                     const picture_options& options, const std::string& path);

}  // namespace c2m::inspect

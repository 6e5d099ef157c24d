// The built-in gallery: what the pack can do, as networks built here, rendered
// to PNG pictures beside one labelled HTML page.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vek::swatch {

struct GalleryItem {
    std::string section;
    std::string label;
    std::string stem;                    // file name of its pictures, without extension
    std::vector<std::string> shaders;    // the plug-ins it needs
    nlohmann::ordered_json network;      // a network document as the files hold it
};

struct GallerySection {
    std::string title;
    std::string note;
};

// Every grid kind with and without distortion, mixer modes in RGB and HSV over
// grid patterns, distance gradients around an instance, replace-alpha views and
// a network joining all four shaders.
std::vector<GalleryItem> gallery_items();
std::vector<GallerySection> gallery_sections();

// Where the gallery goes when no folder is given: the build folder the program
// runs from (<build>/gallery, beside bin/), else ./swatch-gallery.
std::string default_gallery_directory();

struct GalleryOptions {
    std::string directory = default_gallery_directory();
    std::vector<std::string> search_path;
    int size = 96;
    int samples = 2;
    int threads = 0;
};

// Renders every item whose plug-ins are found and writes <directory>/index.html.
// Returns the page's path; throws when no plug-in at all is found.
std::string render_gallery(const GalleryOptions &options);

}  // namespace vek::swatch

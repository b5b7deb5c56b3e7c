#pragma once

#include "core/VXFile.h"
#include "core/parameters/VXParamBase.h"

#include <memory>
#include <string>

namespace vx
{
    class Pixels;

    // A parameter whose value is an image in memory, usually loaded from a
    // file through the engine's video-format manager (the PixelsLoader seam).
    // It keeps the file it came from and a short description ("640x480", or
    // the reader's codec name, a line break and the size after a load), and
    // stores only the file's path in XML ("fileName"): reading loads the
    // file again. Element "ParamPixels".
    class ParamPixels : public ParamBase
    {
    public:
        explicit ParamPixels(const std::string& name);
        // A zeroed image of that size; no description, no notification.
        ParamPixels(const std::string& name, int width, int height, int bytesPerPixel);
        ~ParamPixels() override;

        // Stores the image (null: none), describes its size and notifies by
        // the change type (every time for change type 0: images are not
        // compared).
        void setValue(std::shared_ptr<Pixels> pixels, ValueChangeInfo info);
        // Takes ownership of pixels.
        void setValue(Pixels* pixels, ValueChangeInfo info);
        // No image, no file, no description.
        void clear();
        // Decodes the file's first frame. False, with nothing changed, without
        // an engine root holding a video-format manager, or when no reader
        // serves the file as pixels; false, with file and description emptied
        // but the image kept, when the reader delivers no frame.
        bool loadFromFile(const File& file, ValueChangeInfo info);

        std::shared_ptr<Pixels> getValue() const { return pixels; }
        const File& getFile() const { return file; }
        const std::string& getDescription() const { return description; }

        static const std::string& getSupportedFileExtensions();
        // The file's extension occurs anywhere in the supported patterns,
        // ignoring case (so a name without extension passes).
        static bool chanHandleFile(const File& file);

        // Exactly when the stored file exists.
        bool needsToWriteState() override;
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // Loads "fileName" silently when present.
        void readStateDerived(const XmlNode& node) override;
        void readStatePost() override;
        // Never null; owned by the caller.
        static ParamBase* createParamFromXmlNode(const XmlNode* node);

    private:
        std::shared_ptr<Pixels> pixels;
        File file;
        std::string description;
    };
}

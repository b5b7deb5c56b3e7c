#pragma once

#include "core/VXCurrentInstance.h"
#include "core/parameters/VXExtension.h"
#include "engine/renderpasses/VXRenderPassInfo.h"
#include "engine/video/sources/VXSourceFactory.h"

#include <memory>
#include <string>
#include <vector>

namespace vx
{
    // The extensions plugin files may have, as one text: a file is a
    // candidate when its extension occurs within it.
    extern std::string pluginExtensions;

    class FFGLPluginInstance;
    class File;
    class GeneratorSourceExtension;
    class RenderPass;
    class RenderPassFactory;
    template <typename T>
    class ParamChoice;

    // The engine's one catalogue of render-pass kinds: it owns the registry
    // (vx::RenderPassFactory) and every description, keeps the descriptions
    // sorted by name, fills choice parameters with the kinds of a category,
    // holds the shared passes "FormatConversion" and "RGBASwitch" for the
    // video sources, and stores the presets of every kind as a tree of XML
    // files (a folder of its own per kind, one file per preset).
    //
    // The manager named current (the engine root names the one it owns) is
    // the one passes stored in XML are made again through, and the one a
    // dry/wet wrapper takes its mixers from.
    //
    // It is also the factory of generator sources: every generator kind
    // gets a source extension (kept sorted by name), made through the
    // GeneratorSources seam the video-source layer fills; without it the
    // manager offers no sources.
    //
    // No lock: registration, look-ups and presets run on the thread that
    // owns the manager (the application's); a kind's preset changes reach
    // presetsChanged on the changing thread.
    class RenderPassManager : public CurrentInstance<RenderPassManager>,
                              public VideoSourceFactory,
                              public ExtensionListener
    {
    public:
        using InfoPtr = std::shared_ptr<RenderPassInfo>;
        using SourceExtensionPtr = std::shared_ptr<GeneratorSourceExtension>;

        // Makes the shared passes; registers no kind.
        RenderPassManager();
        // clear(); no longer current.
        ~RenderPassManager() override;
        RenderPassManager(const RenderPassManager&) = delete;
        RenderPassManager& operator=(const RenderPassManager&) = delete;

        // Registers class T under T::classType(): false when a kind of that
        // name and category exists already. A pass made from the new kind
        // gives it its "default" preset.
        template <typename T>
        bool registerRenderPass(RenderPassCategory category, int numInputs, bool dryWetWrappable, bool hidden)
        {
            return registerRenderPass(T::classType(), T::classDisplayStr(), &T::creationFunc, category, numInputs,
                                      dryWetWrappable, hidden);
        }
        bool registerRenderPass(const std::string& name, const std::string& displayName,
                                RenderPassInfo::CreationFunc creationFunc, RenderPassCategory category, int numInputs,
                                bool dryWetWrappable, bool hidden);
        // Registers the engine's built-in pass classes (framework, blend
        // mixers, effects, generators) in a fixed order; answers the last
        // registration's result, so false when called a second time.
        bool registerInternalRenderPasses();
        // Takes a description the factory holds already into the list (and
        // listens to its presets), then sorts. Kinds that come from elsewhere
        // than a creation function (hosted plugins) enter through here.
        void registerRenderPassFromInstance(InfoPtr info);
        // A loaded hosted plugin as a kind (see RenderPassFactory), its
        // default preset taken from a pass made from it and freed at once;
        // false when the factory refuses it. Does not sort.
        bool registerRenderPassFromFFGLInstance(FFGLPluginInstance* plugin);
        // Loads every file below folder whose extension occurs within
        // pluginExtensions (so the extensionless executable inside a
        // bundle), registers each plugin that loads and unloads it again;
        // files that do not load are passed over. Sorts at the end.
        void scanDirectoryForPlugins(const File& folder);
        // The descriptions and the source extensions by name, byte by byte
        // (a prefix first).
        void sort();

        int getNumberOfRenderPasses() const;
        // In list order; without hidden kinds unless asked for.
        std::vector<InfoPtr> getRenderPassInfos(bool includeHidden) const;
        // Null outside the list.
        RenderPassInfo* getRenderPassInfo(int index) const;
        // The factory's look-up (category 0: any).
        RenderPassInfo* getRenderPassInfo(const std::string& name, RenderPassCategory category) const;
        // The first in list order with exactly that unique id, or null.
        RenderPassInfo* getRenderPassInfoById(const std::string& uniqueId) const;
        RenderPassFactory& getFactory() const;

        // Replaces the choices by the kinds of exactly that category with a
        // unique id, in list order: each named like its kind, valued by the
        // hash of its unique id, with the kind's short name (the first four
        // characters of the name for a plugin that gave none).
        void populateChoiceWithRenderPassesByCategory(ParamChoice<unsigned long long>& choice,
                                                      RenderPassCategory category) const;

        // The shared pass of that name, the same every time; empty when none.
        std::shared_ptr<RenderPass> findSharedPass(const std::string& name) const;

        // One source extension per generator kind, sorted by name.
        std::vector<SourceExtensionPtr> getSourceExtensions() const;
        // A generator source over a new pass of the generator kind of that
        // name, made by this manager; null for any other name.
        VideoSource* createSource(const std::string& name) override;
        // An empty generator source that read node; null unless node has a
        // "GeneratorInfo" child.
        XmlCapable* createSourceFromXML(const XmlNode& node) override;
        // A new, empty "GeneratorInfo" element.
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) override;

        // Writes folder/<kind folder>/<preset name>.xml for every preset but
        // "default" (kind folders made when missing, files replaced whole),
        // each file naming its kind by "renderPass", "renderPassId" and
        // "renderPassCategory". Presets of a kind that share a name each get
        // a file, numbered apart as PresetFileNames does ("Soft.xml", "Soft
        // 2.xml"). A file this manager loaded or wrote into folder whose
        // preset was deleted, renamed or numbered otherwise since is removed
        // once its kind's presets are written, before the next kind writes
        // (one whose preset was not written, that holds another preset by
        // now, or that holds byte for byte a preset of the kind this save
        // did not write, stays); a file is its copy while its size, time and
        // bytes are as it left them (PresetFileNames::Stamp: a folder mounted
        // again keeps its copies); files it never loaded or wrote (presets of
        // kinds not registered now) are left alone. Every kind has a folder
        // of its own: its name without \,/:?<>|. as ever, unless another
        // kind's name comes out the same; then those characters are spelled
        // out ("Add%2E50") and a name registered in several categories gets
        // its category ("Add (Mixer)").
        // Which kinds are registered decides the folders: a kind's copy of a
        // preset in a folder it had before, beside other kinds, is removed
        // once the preset is written in its folder now. A file is replaced
        // only when it holds the very preset written (same kind and name, or
        // the copy this manager loaded or wrote there), or a former copy of
        // one written whole by now; a file holding another kind's preset
        // (one not registered now, say) or another preset of the kind (saved
        // by another program, or still to be written) never is: each goes
        // where PresetFileNames::placeFor puts it beside the other. So a save
        // that fails part way leaves every preset that was on disk before it
        // there. A file that already holds the bytes a preset
        // would be written as is left as it is; the others are replaced whole
        // or not at all (XmlUtils::replaceFileText). A kind whose name strips
        // to nothing, or a preset name that is no single path component ("",
        // ".", "..", a "/" or NUL in it), is refused; each with a log line,
        // the others are written. Answers false when anything was refused or
        // not written.
        bool savePresets(const File& folder);
        // Reads the files one level below folder whose extension occurs
        // within ".xml" (so also those without one) into the presets of the
        // kinds they name: by "renderPass", "renderPassId" and
        // "renderPassCategory"; a file from before the category was stored
        // goes to the kind of that name whose passes have the snapshot's
        // "type", else to the first. A file that does not parse, is no
        // "Preset", names no registered kind or carries no name is skipped
        // with a log line; the rest of the folder still loads. Answers the
        // number of presets added.
        int loadPresets(const File& folder);
        // Where presetsChanged saves; empty for nowhere.
        void setLivePresetsFile(const File& folder);
        const File& getLivePresetsFile() const;
        // A kind's presets changed: saves the whole tree into the live
        // folder when it exists.
        void presetsChanged() override;

        // Frees the shared passes' GPU objects (the passes stay). Render
        // thread.
        void release();
        // Drops every kind (the factory first, then the source extensions),
        // last first.
        void clear();
        void printInfo() const;

    private:
        void addSourceExtension(RenderPassInfo& info);

        std::vector<SourceExtensionPtr> sourceExtensions;
        struct Pimpl;
        std::unique_ptr<Pimpl> pimpl;
    };
}

// Writes the LV2 bundle's Turtle from the tables the plug-ins use: the
// variants and ports of variants.h, and each effect's name, description
// and built-in presets from the engine. Run by the build:
//   vortigen-lv2-ttl BUNDLE_DIR BINARY_NAME
// writes BUNDLE_DIR/manifest.ttl, <effect>.ttl and <effect>-presets.ttl.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "engine.h"
#include "variants.h"
#include "vortigen_version.h"

namespace {

using vtlv2::Variant;

const char* prefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix log: <http://lv2plug.in/ns/ext/log#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n\n";

// Who makes the plug-ins, under which licence: hosts file the plug-ins
// under the maintainer's foaf:name (their "publisher" or "author").
const char* maintainerUri = "https://vortigen.example/#developers";
const char* licenseUri = "http://opensource.org/licenses/isc";

// A Turtle string literal.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string effectName(const Variant& v) {
  return std::string(vtengine::effectInfo(v.effect).name);
}

std::string title(const Variant& v) {
  std::string name = effectName(v);
  name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return "Vortigen " + name + (v.channels == 1 ? " (mono)" : "");
}

std::string presetUri(const Variant& v, std::size_t item) {
  return std::string(v.uri) + "/preset/item" + std::to_string(item);
}

std::string presetName(const BuiltInPreset& preset) {
  return vtengine::parsePreset(preset.text).name;
}

// "Dynamic and Chaos Effects. Curves of a preset text, in order: attack,
// release, chaos."
std::string description(const vtengine::EffectInfo& info) {
  std::string text = std::string(info.description) + ". Curves of a preset text, in order: ";
  for (std::size_t c = 0; c < info.curveNames.size(); ++c) {
    text += (c == 0 ? "" : ", ") + std::string(info.curveNames[c]);
  }
  return text + ".";
}

void writeMaintainer(std::ostream& out) {
  out << "<" << maintainerUri << ">\n"
      << "    a foaf:Organization ;\n"
      << "    foaf:name \"Vortigen\" ;\n"
      << "    foaf:homepage <https://vortigen.example/> .\n\n";
}

void writeParameters(std::ostream& out) {
  out << "<" << vtlv2::presetTextUri << ">\n"
      << "    a lv2:Parameter ;\n"
      << "    rdfs:label \"Preset text\" ;\n"
      << "    rdfs:comment \"Custom curves as a preset text: Name,3, then per curve the number "
         "of points and their x,y pairs (0..16384). Used while the preset port is 0.\" ;\n"
      << "    rdfs:range atom:String .\n\n"
      << "<" << vtlv2::presetFileUri << ">\n"
      << "    a lv2:Parameter ;\n"
      << "    rdfs:label \"Preset file\" ;\n"
      << "    rdfs:comment \"A file holding a preset text; read into the preset text.\" ;\n"
      << "    rdfs:range atom:Path .\n\n";
}

void writeControlPorts(std::ostream& out, const vtengine::EffectInfo& info) {
  out << "    lv2:port [\n"
      << "        a lv2:InputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << vtlv2::portPreset << " ;\n"
      << "        lv2:symbol \"preset\" ;\n"
      << "        lv2:name \"Preset\" ;\n"
      << "        lv2:default " << vtlv2::customCurves << " ;\n"
      << "        lv2:minimum 0 ;\n"
      << "        lv2:maximum " << info.builtInPresets.size() << " ;\n"
      << "        lv2:portProperty lv2:integer , lv2:enumeration ;\n"
      << "        lv2:scalePoint [ rdfs:label \"Custom curves (preset text)\" ; rdf:value "
      << vtlv2::customCurves << " ]";
  for (std::size_t k = 0; k < info.builtInPresets.size(); ++k) {
    out << " ,\n            [ rdfs:label " << quoted(presetName(info.builtInPresets[k]))
        << " ; rdf:value " << k + 1 << " ]";
  }
  out << "\n    ] , [\n"
      << "        a lv2:InputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << vtlv2::portEnabled << " ;\n"
      << "        lv2:symbol \"enabled\" ;\n"
      << "        lv2:name \"Enabled\" ;\n"
      << "        lv2:designation lv2:enabled ;\n"
      << "        lv2:default 1 ;\n"
      << "        lv2:minimum 0 ;\n"
      << "        lv2:maximum 1 ;\n"
      << "        lv2:portProperty lv2:toggled\n"
      << "    ] , [\n"
      << "        a lv2:OutputPort , lv2:ControlPort ;\n"
      << "        lv2:index " << vtlv2::portLatency << " ;\n"
      << "        lv2:symbol \"latency\" ;\n"
      << "        lv2:name \"Latency\" ;\n"
      << "        lv2:designation lv2:latency ;\n"
      << "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
      << "        units:unit units:frame\n"
      << "    ] , [\n"
      << "        a lv2:InputPort , atom:AtomPort ;\n"
      << "        atom:bufferType atom:Sequence ;\n"
      << "        atom:supports patch:Message ;\n"
      << "        lv2:designation lv2:control ;\n"
      << "        lv2:index " << vtlv2::portControl << " ;\n"
      << "        lv2:symbol \"control\" ;\n"
      << "        lv2:name \"Control\" ;\n"
      << "        lv2:portProperty lv2:connectionOptional\n"
      << "    ] , [\n"
      << "        a lv2:OutputPort , atom:AtomPort ;\n"
      << "        atom:bufferType atom:Sequence ;\n"
      << "        atom:supports patch:Message ;\n"
      << "        lv2:designation lv2:control ;\n"
      << "        lv2:index " << vtlv2::portNotify << " ;\n"
      << "        lv2:symbol \"notify\" ;\n"
      << "        lv2:name \"Notify\" ;\n"
      << "        lv2:portProperty lv2:connectionOptional\n"
      << "    ]";
}

void writeAudioPorts(std::ostream& out, const Variant& v) {
  static const char* const stereoSymbols[] = {"l", "r"};
  static const char* const stereoNames[] = {"left", "right"};
  for (int direction = 0; direction < 2; ++direction) {
    const bool input = direction == 0;
    for (std::uint32_t c = 0; c < v.channels; ++c) {
      const std::string symbol = std::string(input ? "in" : "out") +
                                 (v.channels == 1 ? "" : std::string("_") + stereoSymbols[c]);
      const std::string name = std::string(input ? "Input" : "Output") +
                               (v.channels == 1 ? "" : std::string(" ") + stereoNames[c]);
      out << " , [\n"
          << "        a lv2:" << (input ? "InputPort" : "OutputPort") << " , lv2:AudioPort ;\n"
          << "        lv2:index " << (input ? vtlv2::audioInPort(c) : vtlv2::audioOutPort(v, c))
          << " ;\n"
          << "        lv2:symbol " << quoted(symbol) << " ;\n"
          << "        lv2:name " << quoted(name) << "\n"
          << "    ]";
    }
  }
}

void writePlugin(std::ostream& out, const Variant& v) {
  const vtengine::EffectInfo& info = vtengine::effectInfo(v.effect);
  out << "<" << v.uri << ">\n"
      << "    a lv2:Plugin , lv2:SpectralPlugin ;\n"
      << "    doap:name " << quoted(title(v)) << " ;\n"
      << "    rdfs:comment " << quoted(description(info)) << " ;\n"
      << "    doap:maintainer <" << maintainerUri << "> ;\n"
      << "    doap:license <" << licenseUri << "> ;\n"
      << "    lv2:minorVersion " << VORTIGEN_VERSION_MINOR << " ;\n"
      << "    lv2:microVersion " << VORTIGEN_VERSION_PATCH << " ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , urid:map , work:schedule , log:log , "
         "state:mapPath ;\n"
      << "    lv2:extensionData work:interface , state:interface ;\n"
      << "    patch:writable <" << vtlv2::presetTextUri << "> , <" << vtlv2::presetFileUri
      << "> ;\n"
      << "    patch:readable <" << vtlv2::presetTextUri << "> , <" << vtlv2::presetFileUri
      << "> ;\n";
  writeControlPorts(out, info);
  writeAudioPorts(out, v);
  out << " .\n\n";
}

void writePresets(std::ostream& out, const Variant& v) {
  const vtengine::EffectInfo& info = vtengine::effectInfo(v.effect);
  for (std::size_t k = 0; k < info.builtInPresets.size(); ++k) {
    out << "<" << presetUri(v, k + 1) << ">\n"
        << "    a pset:Preset ;\n"
        << "    lv2:appliesTo <" << v.uri << "> ;\n"
        << "    rdfs:label " << quoted(presetName(info.builtInPresets[k])) << " ;\n"
        << "    lv2:port [ lv2:symbol \"preset\" ; pset:value " << k + 1 << ".0 ] .\n\n";
  }
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path + "; check that its folder exists");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vortigen-lv2-ttl BUNDLE_DIR BINARY_NAME\n";
    return 2;
  }
  const std::string dir = argv[1];
  const std::string binary = argv[2];
  try {
    std::ostringstream manifest;
    manifest << prefixes;
    for (vtengine::Effect effect : vtengine::allEffects()) {
      const std::string name(vtengine::effectInfo(effect).name);
      std::ostringstream plugins, presets;
      plugins << prefixes;
      writeMaintainer(plugins);
      writeParameters(plugins);
      presets << prefixes;
      for (const Variant& v : vtlv2::variants) {
        if (v.effect != effect) continue;
        writePlugin(plugins, v);
        writePresets(presets, v);
        manifest << "<" << v.uri << ">\n"
                 << "    a lv2:Plugin ;\n"
                 << "    lv2:binary <" << binary << "> ;\n"
                 << "    rdfs:seeAlso <" << name << ".ttl> .\n\n";
        const auto& info = vtengine::effectInfo(effect);
        for (std::size_t k = 0; k < info.builtInPresets.size(); ++k) {
          manifest << "<" << presetUri(v, k + 1) << ">\n"
                   << "    a pset:Preset ;\n"
                   << "    lv2:appliesTo <" << v.uri << "> ;\n"
                   << "    rdfs:seeAlso <" << name << "-presets.ttl> .\n\n";
        }
      }
      writeFile(dir + "/" + name + ".ttl", plugins.str());
      writeFile(dir + "/" + name + "-presets.ttl", presets.str());
    }
    writeFile(dir + "/manifest.ttl", manifest.str());
  } catch (const std::exception& error) {
    std::cerr << "vortigen-lv2-ttl: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

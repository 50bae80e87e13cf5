// The two effects as the engine knows them: their constants, read from the
// same headers the plug-in libraries are built from, and their tables.
#include <algorithm>
#include <cctype>
#include <string>

#include "dynamic_effect.h"
#include "effects.h"
#include "engine.h"
#include "fourier_effect.h"

namespace vtengine {

namespace {

// The curve XfmInit creates from a shape is the host's: a point at each
// end of the x range.
template <size_t count>
std::vector<PointList> initialCurvesOf(const CurveShape (&shapes)[count]) {
  std::vector<PointList> curves;
  for (const CurveShape& s : shapes) {
    curves.push_back({{static_cast<int>(s.xMin), static_cast<int>(s.yStart)},
                      {static_cast<int>(s.xMax), static_cast<int>(s.yEnd)}});
  }
  return curves;
}

template <size_t count>
std::vector<BuiltInPreset> presetsOf(const BuiltInPreset (&presets)[count]) {
  return std::vector<BuiltInPreset>(std::begin(presets), std::end(presets));
}

template <size_t count>
std::vector<std::string_view> namesOf(const char* const (&names)[count]) {
  return std::vector<std::string_view>(std::begin(names), std::end(names));
}

const EffectInfo& dynamicInfo() {
  static const EffectInfo info{Effect::Dynamic,
                               "dynamic",
                               dynamicDescription,
                               namesOf(dynamicCurveNames),
                               initialCurvesOf(dynamicCurves),
                               presetsOf(dynamicPresets)};
  return info;
}

const EffectInfo& fourierInfo() {
  static const EffectInfo info{Effect::Fourier,
                               "fourier",
                               fourierDescription,
                               namesOf(fourierCurveNames),
                               initialCurvesOf(fourierCurves),
                               presetsOf(fourierPresets)};
  return info;
}

// Every effect the engine drives, in the order of the Effect values: what
// the effect is (its info) and its stage. The one place a new effect is
// added; everything else finds the effects here.
struct EffectEntry {
  Effect effect;
  const EffectInfo& (*info)();
  const SpectralStage* stage;
};

const EffectEntry effectTable[] = {
    {Effect::Dynamic, dynamicInfo, &dynamicStage},
    {Effect::Fourier, fourierInfo, &fourierStage},
};

const EffectEntry& entryOf(Effect effect) { return effectTable[static_cast<std::size_t>(effect)]; }

void checkPoints(const EffectInfo& info, size_t curve, const PointList& points) {
  const std::string where =
      "The " + std::string(info.curveNames[curve]) + " curve of " + std::string(info.name);
  if (points.empty()) {
    throw EngineError(where + " has no points; give it at least one.");
  }
  if (const CurvePoint* p = firstPointOutside(points, CurveRange{})) {
    throw EngineError(where + " has the point (" + std::to_string(p->x) + "," +
                      std::to_string(p->y) + ") outside 0.." + std::to_string(CurveFullScale) +
                      "; keep every point inside it.");
  }
  for (size_t i = 0; i < points.size(); ++i) {
    const CurvePoint& p = points[i];
    if (i > 0 && p.x < points[i - 1].x) {
      throw EngineError(where + " lets x fall from " + std::to_string(points[i - 1].x) + " to " +
                        std::to_string(p.x) + "; give the points in rising x.");
    }
  }
}

// The stage's view of a set of point lists: curve i is point list i.
double pointListValue(const void* context, int curve, double position) {
  const auto& curves = *static_cast<const std::vector<PointList>*>(context);
  return curveValue(curves[static_cast<size_t>(curve)], position);
}

}  // namespace

const std::vector<Effect>& allEffects() {
  static const std::vector<Effect> effects = [] {
    std::vector<Effect> list;
    for (const EffectEntry& entry : effectTable) list.push_back(entry.effect);
    return list;
  }();
  return effects;
}

const EffectInfo& effectInfo(Effect effect) { return entryOf(effect).info(); }

std::optional<Effect> effectNamed(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (Effect effect : allEffects()) {
    if (effectInfo(effect).name == lower) return effect;
  }
  return std::nullopt;
}

const SpectralStage& stageOf(Effect effect) { return *entryOf(effect).stage; }

CurveTables::CurveTables(Effect effect, std::size_t bytes)
    : effect_(effect), storage_((bytes + sizeof(double) - 1) / sizeof(double)) {}

CurveTables::~CurveTables() = default;

const void* tableData(const CurveTables& tables) { return tables.storage_.data(); }

std::unique_ptr<CurveTables> prepareCurves(Effect effect, const std::vector<PointList>& curves) {
  const EffectInfo& info = effectInfo(effect);
  if (curves.size() != info.curveNames.size()) {
    std::string names;
    for (std::string_view n : info.curveNames)
      names += (names.empty() ? "" : ", ") + std::string(n);
    throw EngineError("The " + std::string(info.name) + " effect takes " +
                      std::to_string(info.curveNames.size()) + " curves (" + names + "), but " +
                      std::to_string(curves.size()) +
                      " were given; give one point list per curve.");
  }
  for (size_t i = 0; i < curves.size(); ++i) checkPoints(info, i, curves[i]);
  const SpectralStage& stage = stageOf(effect);
  std::unique_ptr<CurveTables> tables(new CurveTables(effect, stage.tableBytes));
  stage.fillTables(CurveSampler{pointListValue, &curves}, tables->storage_.data());
  return tables;
}

}  // namespace vtengine

#include "settings/PanelSettings.h"

#include "settings/SettingsStore.h"
#include "settings/TextForms.h"

#include <exception>

namespace {

QString nodeCallKey(int index)
{
    return QStringLiteral("NodeCall%1").arg(index);
}

// The value in its text form, or nothing when the text cannot be read as one.
template <typename T>
std::optional<T> readAs(const SettingsStore &store, const QString &key, T (*convert)(const QString &))
{
    try {
        return convert(store.read(key));
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

}  // namespace

PanelSettings PanelSettings::read(const SettingsStore &store)
{
    using namespace TextForms;
    PanelSettings settings;
    settings.top = readAs(store, QStringLiteral("ScrnTop"), toSingle);
    settings.left = readAs(store, QStringLiteral("ScrnLeft"), toSingle);
    settings.onTop = readAs(store, QStringLiteral("OnTop"), toBoolean);
    settings.viewLarge = readAs(store, QStringLiteral("ViewLarge"), toBoolean);
    settings.viewSmall = readAs(store, QStringLiteral("ViewSmall"), toBoolean);
    for (int i = 0; i < CallCount; ++i)
        settings.calls[i] = store.read(nodeCallKey(i));
    return settings;
}

void PanelSettings::write(SettingsStore &store) const
{
    using namespace TextForms;
    const auto put = [&store](const char *key, const auto &value, auto toText) {
        if (value)
            store.write(QLatin1String(key), toText(*value));
    };
    put("ScrnTop", top, fromSingle);
    put("ScrnLeft", left, fromSingle);
    put("OnTop", onTop, fromBoolean);
    put("ViewLarge", viewLarge, fromBoolean);
    put("ViewSmall", viewSmall, fromBoolean);
    for (int i = 0; i < CallCount; ++i)
        if (calls[i])
            store.write(nodeCallKey(i), *calls[i]);
}

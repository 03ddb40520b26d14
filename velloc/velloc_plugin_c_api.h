/* The plug-in library's plain C registration entry, so that a host can register it by name
 * without knowing its C++ classes. */
#ifndef VELLOC_VELLOC_PLUGIN_C_API_H_
#define VELLOC_VELLOC_PLUGIN_C_API_H_

#define VELLOC_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque: points to the host's channel::PluginRegistrar for this plug-in. */
typedef struct VellocRegistrar* VellocRegistrarRef;

/* Installs "velloc/input_source" on the registrar's messenger, served by one plug-in instance
 * that the registrar keeps. A null registrar is ignored. */
VELLOC_EXPORT void VellocPluginRegisterWithRegistrar(VellocRegistrarRef registrar);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VELLOC_VELLOC_PLUGIN_C_API_H_ */

// Declarations of the thread quality-of-service call the macOS adapters make (pthread/qos.h,
// sys/qos.h), from Apple's public documentation.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int qos_class_t;
#define QOS_CLASS_USER_INTERACTIVE ((qos_class_t)0x21)
#define QOS_CLASS_USER_INITIATED ((qos_class_t)0x19)
#define QOS_CLASS_DEFAULT ((qos_class_t)0x15)
#define QOS_CLASS_UTILITY ((qos_class_t)0x11)
#define QOS_CLASS_BACKGROUND ((qos_class_t)0x09)

int pthread_set_qos_class_self_np(qos_class_t __qos_class, int __relative_priority);

#ifdef __cplusplus
}
#endif

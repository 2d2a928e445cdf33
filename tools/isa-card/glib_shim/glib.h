// The few GLib types gpsim's headers name, for a build machine without libglib2.0-dev. They
// are GLib's own definitions on Linux (gint64 is long, guint64 unsigned long on LP64).
#pragma once
#include <stdint.h>
typedef int64_t gint64;
typedef uint64_t guint64;
typedef int gint;
typedef unsigned int guint;
typedef char gchar;
typedef int gboolean;
typedef void* gpointer;
typedef uint32_t guint32;
typedef int32_t gint32;
typedef struct _GSList {
  gpointer data;
  struct _GSList* next;
} GSList;
typedef struct _GList {
  gpointer data;
  struct _GList* next;
  struct _GList* prev;
} GList;

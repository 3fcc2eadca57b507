// ImportMSD: reads a .msd scene file into a scene-graph subtree.
//
// File: the magic "MSD0", then chunks (a 4-byte tag and a body) until the end
// of the file or an unknown tag: "TRNS" Transform nodes, "POLY"/"SKIN" meshes
// (PolygonGeometry, SkinGeometry), "MATL" Shader + Material, "TXTR"
// FileTexture2D (loaded later from the PNG beside the model that has the
// source path's file name with the extension ".png"), "ANIM" animation takes
// (TrackLibrary objects in a Container under the root). "LIGT" and "SHAD"
// chunks are not supported and fail the import. All numbers little-endian.
//
// Objects refer to each other by 32-bit IDs. A reference to an ID not yet
// defined creates an empty object of the expected kind, which the chunk
// defining that ID later fills; a second definition of an ID logs a
// duplicate and is not registered (references keep resolving to the first).
// Malformed references are logged and the import goes on; an animation
// channel naming no Transform is read and passed over.
//
// Damaged files are refused rather than trusted: every count and length is
// checked against the bytes left in the file, indices must fit 16 bits and
// the vertex count, vertex positions must be numbers within +-16383 (so that
// distances between them fit Fixed), and a short read fails the import. A failed import logs
// "ImportMSD: Import failed." (or the Init message for a missing file or bad
// magic), returns null and releases everything it made.
//
// Depends on: Scene (Transform, PolygonGeometry, SkinGeometry, Shader,
// Material, FileTexture2D), Animation (TrackLibrary, Track, splines), Log.
// Limits: one import at a time per thread (no shared state otherwise); IDs
// are kept in a sparse table, so large IDs cost nothing.
#pragma once

#include "Scene/Transform.h"

namespace Meridian {

enum ImportMSDFlags : U32 {
    // Create an empty Transform as the root before reading; without it the
    // first "TRNS" chunk's node becomes the root.
    ImportMSDCreateRoot = 2,
};

// Imports the file at path. Returns the root Transform with reference count
// 0 (the caller takes the reference), named with the path minus its
// extension, or null: after a logged failure, or when the file defines no
// Transform at all (and ImportMSDCreateRoot is not given).
Transform* ImportMSD(const char* path, U32 flags);

}  // namespace Meridian

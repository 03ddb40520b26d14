// swift-tools-version: 5.9
// The package for Swift Package Manager. It compiles the same files as the podspec beside it
// (../tandrel.podspec): the forwarding sources under Sources/tandrel/core include the
// repository's one copy of each source, which finds its headers through core_headers.

import PackageDescription

let package = Package(
    name: "tandrel",
    platforms: [
        .macOS("10.15"),
    ],
    products: [
        .library(name: "tandrel", targets: ["tandrel"]),
    ],
    dependencies: [
        .package(name: "FlutterFramework", path: "../FlutterFramework"),
    ],
    targets: [
        .target(
            name: "tandrel",
            dependencies: [
                .product(name: "FlutterFramework", package: "FlutterFramework"),
            ],
            // SwiftPM defines no NDEBUG: without it, a shipped app keeps the debug checks (assert).
            // It knows only debug and release; Xcode builds a package with its release settings
            // under every configuration whose name holds neither "debug" nor "development",
            // Flutter's Profile among them.
            cSettings: [
                .headerSearchPath("../../core_headers"),
                .define("NDEBUG", .when(configuration: .release)),
            ],
            cxxSettings: [
                .headerSearchPath("../../core_headers"),
                .define("NDEBUG", .when(configuration: .release)),
            ],
            linkerSettings: [
                .linkedFramework("AppKit"),
                .linkedFramework("ApplicationServices"),
                .linkedFramework("Carbon"),
                .linkedFramework("CoreFoundation"),
                .linkedFramework("Foundation"),
                // Present since macOS 10.6; its one newer class, SMAppService (macOS 13), is
                // weakly referenced through its availability, and the core checks the system
                // version before touching it.
                .linkedFramework("ServiceManagement"),
            ]
        ),
    ],
    cxxLanguageStandard: .cxx20
)

# The package for CocoaPods. It compiles the same files as the Swift package beside it
# (tandrel/Package.swift): the forwarding sources under tandrel/Sources/tandrel/core include
# the repository's one copy of each source, which finds its headers through
# tandrel/core_headers.
Pod::Spec.new do |s|
  s.name             = 'tandrel'
  s.version          = '0.1.0'
  s.summary          = 'The native side of a keyboard-layout repair utility on macOS.'
  s.description      = 'Key event stream, focused text field access, synthetic keys, clipboard, ' \
                       'permissions, start at login and input sources over Flutter platform channels.'
  s.homepage         = 'https://example.com/tandrel'
  s.license          = { :type => 'Proprietary' }
  s.author           = { 'tandrel' => 'tandrel@example.com' }
  s.source           = { :path => '.' }

  s.source_files        = 'tandrel/Sources/tandrel/**/*.{h,cc,mm}'
  s.public_header_files = 'tandrel/Sources/tandrel/include/**/*.h'

  s.dependency 'FlutterMacOS'
  s.platform = :osx, '10.15'
  s.frameworks = 'AppKit', 'ApplicationServices', 'Carbon', 'CoreFoundation', 'Foundation'
  # SMAppService exists from macOS 13 on; the app starts on 10.15.
  s.weak_frameworks = 'ServiceManagement'
  s.requires_arc = true

  s.pod_target_xcconfig = {
    'DEFINES_MODULE' => 'YES',
    'CLANG_CXX_LANGUAGE_STANDARD' => 'c++20',
    'CLANG_CXX_LIBRARY' => 'libc++',
    'HEADER_SEARCH_PATHS' => '"$(PODS_TARGET_SRCROOT)/tandrel/core_headers"',
    # CocoaPods defines no NDEBUG: without these, a shipped app keeps the debug checks (assert).
    'GCC_PREPROCESSOR_DEFINITIONS[config=Release]' => '$(inherited) NDEBUG=1',
    'GCC_PREPROCESSOR_DEFINITIONS[config=Profile]' => '$(inherited) NDEBUG=1',
  }
end

# Evaluates a podspec against a small stand-in for CocoaPods' Pod::Spec that records every
# attribute it sets, expands its file globs as CocoaPods does (relative to the podspec's
# folder) and prints the result as JSON. CocoaPods itself is not needed.
#
# Usage: ruby scripts/package/podspec-eval.rb PODSPEC
require 'json'

module Pod
  class Spec
    attr_reader :attributes

    def initialize
      @attributes = {}
      yield self if block_given?
    end

    def dependency(name, *requirements)
      (@attributes['dependencies'] ||= []) << [name, *requirements]
    end

    def platform=(value)
      @attributes['platform'] = Array(value).map(&:to_s)
    end

    # Every other attribute is recorded as it is set (`s.name = ...`).
    def method_missing(name, *args)
      key = name.to_s
      return super unless key.end_with?('=') && args.length == 1

      @attributes[key.chomp('=')] = args.first
    end

    def respond_to_missing?(name, include_private = false)
      name.to_s.end_with?('=') || super
    end
  end
end

path = ARGV.fetch(0)
spec = eval(File.read(path), binding, path) # rubocop:disable Security/Eval
abort "#{path}: does not evaluate to a Pod::Spec" unless spec.is_a?(Pod::Spec)

attributes = spec.attributes
expanded = {}
%w[source_files public_header_files].each do |key|
  patterns = Array(attributes[key])
  Dir.chdir(File.dirname(path)) do
    expanded[key] = patterns.flat_map { |p| Dir.glob(p, File::FNM_EXTGLOB) }
                            .select { |f| File.file?(f) }.uniq.sort
  end
end
puts JSON.generate('attributes' => attributes, 'expanded' => expanded)

// The example's page on stand-ins for the package's channels, so `flutter test` runs anywhere;
// integration_test/ holds it to the real native side on a Mac.
import 'package:flutter/services.dart';
import 'package:flutter_test/flutter_test.dart';
import 'package:tandrel_example/main.dart';

void main() {
  testWidgets('shows the permission and the key events, and asks for the Russian input source',
      (tester) async {
    final messenger = tester.binding.defaultBinaryMessenger;
    final selected = <Object?>[];
    messenger.setMockMethodCallHandler(
        permissions, (call) async => call.method == 'check' ? true : null);
    messenger.setMockMethodCallHandler(inputSource, (call) async {
      selected.add(call.arguments);
      return null;
    });
    messenger.setMockStreamHandler(
        permissionEvents, MockStreamHandler.inline(onListen: (arguments, events) {}));
    messenger.setMockStreamHandler(
        keyEvents,
        MockStreamHandler.inline(
            onListen: (arguments, events) => events.success({'type': 'keyDown', 'keycode': 7})));

    await tester.pumpWidget(const ExampleApp());
    await tester.pumpAndSettle();
    expect(find.text('Permission granted: true'), findsOneWidget);
    expect(find.text('{type: keyDown, keycode: 7}'), findsOneWidget);

    await tester.tap(find.text('Russian input'));
    await tester.pumpAndSettle();
    expect(selected, [
      {'lang': 'ru'}
    ]);
  });
}

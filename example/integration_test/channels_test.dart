// Every channel of the package through the real engine, the byte bridge and the real system.
// Run on a Mac: `flutter test integration_test -d macos` in example/. It leaves the clipboard
// as it found it; without the Accessibility permission the key stream refuses its listen with
// "no_permission", which counts as an answer.
import 'package:flutter/services.dart';
import 'package:flutter_test/flutter_test.dart';
import 'package:integration_test/integration_test.dart';

const permissions = MethodChannel('tandrel/permissions');
const automation = MethodChannel('tandrel/automation');
const autostart = MethodChannel('tandrel/autostart');
const keyEvents = EventChannel('tandrel/key_events');
const permissionEvents = EventChannel('tandrel/permission_events');
const inputSource = MethodChannel('velloc/input_source');

void main() {
  IntegrationTestWidgetsFlutterBinding.ensureInitialized();

  test('tandrel/permissions answers', () async {
    expect(await permissions.invokeMethod<bool>('isSandboxed'), isFalse);
    expect(await permissions.invokeMethod<bool>('check'), isA<bool>());
  });

  test('tandrel/automation keeps the user\'s clipboard', () async {
    await automation.invokeMethod('saveClipboard');
    final before = await automation.invokeMethod<int>('clipboardChangeCount');
    await automation.invokeMethod('writeClipboardText', {'text': 'tandrel integration test'});
    expect(await automation.invokeMethod<String>('readClipboardText'),
        'tandrel integration test');
    expect(await automation.invokeMethod<int>('clipboardChangeCount'), greaterThan(before!));
    await automation.invokeMethod('restoreClipboard');
    expect(await automation.invokeMethod<bool>('isSecureInputEnabled'), isA<bool>());
  });

  test('tandrel/autostart answers, or is unsupported before macOS 13', () async {
    try {
      expect(await autostart.invokeMethod<bool>('isEnabled'), isA<bool>());
    } on PlatformException catch (e) {
      expect(e.code, 'unsupported');
    }
  });

  test('velloc/input_source refuses a bad language and selects English', () async {
    await expectLater(inputSource.invokeMethod('select', {'lang': 'de'}),
        throwsA(isA<PlatformException>().having((e) => e.code, 'code', 'bad_lang')));
    await inputSource.invokeMethod('select', {'lang': 'en'});
  });

  test('the event channels listen and cancel, and listen again', () async {
    for (final channel in [keyEvents, permissionEvents]) {
      for (var i = 0; i < 2; i++) {
        final subscription = channel.receiveBroadcastStream().listen((_) {},
            onError: (Object error) {
          expect(error, isA<PlatformException>());
          expect((error as PlatformException).code, 'no_permission');
        });
        await Future<void>.delayed(const Duration(milliseconds: 300));
        await subscription.cancel();
      }
    }
  });
}

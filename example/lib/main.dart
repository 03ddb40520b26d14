// A minimal app on the tandrel package: the permission state, the last key events, and the
// input source switched on request. The window starts hidden (see macos/Runner); this app shows
// it with window_manager once Dart runs, as an app of your own would from a tray menu.
import 'dart:async';

import 'package:flutter/material.dart';
import 'package:flutter/services.dart';
import 'package:window_manager/window_manager.dart';

const permissions = MethodChannel('tandrel/permissions');
const permissionEvents = EventChannel('tandrel/permission_events');
const keyEvents = EventChannel('tandrel/key_events');
const inputSource = MethodChannel('velloc/input_source');

Future<void> main() async {
  WidgetsFlutterBinding.ensureInitialized();
  await windowManager.ensureInitialized();
  runApp(const ExampleApp());
  await windowManager.show();
}

class ExampleApp extends StatelessWidget {
  const ExampleApp({super.key});

  @override
  Widget build(BuildContext context) =>
      const MaterialApp(title: 'tandrel example', home: HomePage());
}

class HomePage extends StatefulWidget {
  const HomePage({super.key});

  @override
  State<HomePage> createState() => _HomePageState();
}

class _HomePageState extends State<HomePage> {
  bool? granted;
  final List<String> events = [];
  StreamSubscription<dynamic>? permissionSubscription;
  StreamSubscription<dynamic>? keySubscription;
  String? keyError;

  @override
  void initState() {
    super.initState();
    permissionSubscription = permissionEvents.receiveBroadcastStream().listen((value) {
      setState(() => granted = value as bool?);
      if (value == true) listenToKeys();
    });
    permissions.invokeMethod<bool>('check').then((value) {
      setState(() => granted = value);
      if (value == true) listenToKeys();
    });
  }

  void listenToKeys() {
    keySubscription?.cancel();
    keySubscription = keyEvents.receiveBroadcastStream().listen(
      (event) => setState(() {
        events.insert(0, '$event');
        if (events.length > 10) events.removeLast();
        keyError = null;
      }),
      onError: (Object error) => setState(() => keyError = '$error'),
    );
  }

  @override
  void dispose() {
    permissionSubscription?.cancel();
    keySubscription?.cancel();
    super.dispose();
  }

  @override
  Widget build(BuildContext context) {
    return Scaffold(
      appBar: AppBar(title: const Text('tandrel example')),
      body: Padding(
        padding: const EdgeInsets.all(16),
        child: Column(
          crossAxisAlignment: CrossAxisAlignment.start,
          children: [
            Text('Permission granted: ${granted ?? 'unknown'}'),
            Wrap(spacing: 8, children: [
              ElevatedButton(
                onPressed: () => permissions.invokeMethod('prompt'),
                child: const Text('Ask for the permission'),
              ),
              ElevatedButton(
                onPressed: () => permissions.invokeMethod('openSettings'),
                child: const Text('Open System Settings'),
              ),
              ElevatedButton(
                onPressed: () => inputSource.invokeMethod('select', {'lang': 'ru'}),
                child: const Text('Russian input'),
              ),
              ElevatedButton(
                onPressed: () => inputSource.invokeMethod('select', {'lang': 'en'}),
                child: const Text('English input'),
              ),
            ]),
            const SizedBox(height: 16),
            if (keyError != null) Text('Key stream: $keyError'),
            const Text('Last key events:'),
            Expanded(
              child: ListView(children: [for (final e in events) Text(e)]),
            ),
          ],
        ),
      ),
    );
  }
}

/* Pins an object for the test program with a JNI global reference, the root kind the
   agent lists by default. The reference is never deleted. */
#include <jni.h>

JNIEXPORT void JNICALL Java_Pin_pin(JNIEnv* env, jclass cls, jobject o)
{
    (void)cls;
    (*env)->NewGlobalRef(env, o);
}
